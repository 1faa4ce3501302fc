// The serve loop with an engine of the test's own: everything a file costs the worker
// happens before its answer ends, where the program's deadline for the file still runs,
// and what is read beyond the pages comes after the last page, only when asked.
#include "worker/shell/ServeMode.h"
#include "worker/shell/TextEngine.h"

#include "FakePdfObject.h"

#include <QByteArray>
#include <QTest>

#include <unistd.h>

using namespace pelmora;

namespace {

// Closing the document writes a frame of its own, so its place among the answer's frames shows.
class MarkedDocument : public worker::TextDocument
{
public:
    explicit MarkedDocument(int out) : m_out(out) {}
    ~MarkedDocument() override
    {
        const std::string marker = protocol::EncodeEvent(protocol::PageEvent::incomplete(1, "closed"));
        [[maybe_unused]] const ssize_t written = ::write(m_out, marker.data(), marker.size());
    }
    int pageCount() override { return 1; }
    void convert(worker::PageRange, const worker::ConvertOptions &, worker::PageSink &sink) override
    {
        if (sink.take(protocol::PageEvent::text(1, "page@example.com\f")))
            (void)sink.take(protocol::PageEvent::pageEnd(1));
    }
    worker::PdfObject trailer() override
    {
        return test::Dict({{"Info", test::Dict({{"Author", test::Str("Ann <ann@example.com>")}})}});
    }
    worker::PdfObject pageObject(int) override { return {}; }

private:
    int m_out;
};

class MarkedEngine : public worker::TextEngine
{
public:
    explicit MarkedEngine(int out) : m_out(out) {}
    worker::OpenResult open(const std::string &, const std::vector<std::string> &) override
    {
        worker::OpenResult result;
        result.outcome = protocol::Outcome::Text;
        result.document = std::make_unique<MarkedDocument>(m_out);
        return result;
    }
    worker::OpenResult openAttached(std::string, const std::vector<std::string> &) override { return {}; }

private:
    int m_out;
};

} // namespace

class TestServeMode : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void documentClosesBeforeTheAnswerEnds_data();
    void documentClosesBeforeTheAnswerEnds();
};

void TestServeMode::documentClosesBeforeTheAnswerEnds_data()
{
    QTest::addColumn<bool>("metadata");
    QTest::addColumn<QByteArray>("order");
    QTest::newRow("pages only") << false << QByteArray("OTEID");
    QTest::newRow("metadata after the last page") << true << QByteArray("OTEXID");
}

void TestServeMode::documentClosesBeforeTheAnswerEnds()
{
    QFETCH(bool, metadata);
    QFETCH(QByteArray, order);
    int in[2], out[2];
    QCOMPARE(::pipe(in), 0);
    QCOMPARE(::pipe(out), 0);
    protocol::ConvertRequest request;
    request.path = "any.pdf";
    request.metadata = metadata;
    const std::string bytes = protocol::EncodeRequest(request);
    QCOMPARE(::write(in[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(in[1]);
    MarkedEngine engine(out[1]);
    QCOMPARE(worker::Serve(in[0], out[1], engine), 0);
    ::close(in[0]);
    ::close(out[1]);
    protocol::FrameReader reader;
    char buffer[4096];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
        reader.feed(std::string_view(buffer, std::size_t(got)));
    ::close(out[0]);
    QByteArray frames;
    while (const std::optional<protocol::Frame> frame = reader.next())
        frames += char(frame->type);
    QCOMPARE(frames, order);
}

QTEST_GUILESS_MAIN(TestServeMode)
#include "tst_servemode.moc"
