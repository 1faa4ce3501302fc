// The converter workers' pipe protocol: requests and answers survive encoding, frames
// arrive in any cut, and a broken stream is recognised and stays broken.
#include "protocol/WorkerProtocol.h"

#include <QTest>

#include <limits>

using namespace pelmora::protocol;

Q_DECLARE_METATYPE(pelmora::protocol::ConvertRequest)
Q_DECLARE_METATYPE(pelmora::protocol::PageEvent)

namespace {

QByteArray bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

std::string header(char type, std::uint32_t length)
{
    std::string out(1, type);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((length >> shift) & 0xFF));
    return out;
}

// Every frame the reader yields for the bytes, fed in pieces of `step` bytes.
std::vector<Frame> readAll(const std::string &stream, std::size_t step, FrameReader &reader)
{
    std::vector<Frame> frames;
    for (std::size_t at = 0; at < stream.size(); at += step) {
        reader.feed(std::string_view(stream).substr(at, step));
        while (std::optional<Frame> frame = reader.next())
            frames.push_back(std::move(*frame));
    }
    return frames;
}

std::optional<ConvertRequest> roundTrip(const ConvertRequest &request)
{
    FrameReader reader;
    const std::vector<Frame> frames = readAll(EncodeRequest(request), 1 << 20, reader);
    if (frames.size() != 1 || reader.pending() != 0)
        return std::nullopt;
    return DecodeRequest(frames.front());
}

} // namespace

class TestWorkerProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void requestRoundTrip_data();
    void requestRoundTrip();
    void eventRoundTrip_data();
    void eventRoundTrip();
    void framesFedOneByteAtATime();
    void brokenStreams_data();
    void brokenStreams();
    void longestFrameIsAwaited();
    void requestsRefused_data();
    void requestsRefused();
    void stops_data();
    void stops();
    void eventsRefused_data();
    void eventsRefused();
    void numbers_data();
    void numbers();
};

void TestWorkerProtocol::requestRoundTrip_data()
{
    QTest::addColumn<ConvertRequest>("request");
    QTest::newRow("plain") << ConvertRequest{"/data/a.pdf", 0, 0, false, false, "", {}};
    QTest::newRow("range, both options, languages")
        << ConvertRequest{"/data/b.pdf", 3, 100, true, true, "eng+deu", {}};
    QTest::newRow("largest page") << ConvertRequest{
        "c.pdf", std::numeric_limits<int>::max(), 1, false, true, "", {}};
    QTest::newRow("passwords, empty and with NUL")
        << ConvertRequest{"d.pdf", 0, 0, false, false, "", {"", std::string("a\0b", 3), "secret"}};
    QTest::newRow("name not UTF-8, NUL inside")
        << ConvertRequest{std::string("/tmp/caf\xe9\0x", 11), 0, 7, true, false, "fra", {"x"}};
    QTest::newRow("empty path") << ConvertRequest{"", 1, 1, false, false, "", {}};
    std::vector<std::string> many;
    for (int i = 0; i < 300; ++i)
        many.push_back(std::string(std::size_t(i), char('a' + i % 26)));
    QTest::newRow("300 candidates") << ConvertRequest{"e.pdf", 0, 0, false, false, "", many};
    QTest::newRow("notes") << ConvertRequest{"f.pdf", 0, 0, false, true, "", {}, true};
    QTest::newRow("notes, metadata, attachments")
        << ConvertRequest{"g.pdf", 0, 0, true, false, "eng", {"pw"}, true, true, true};
    QTest::newRow("attachments alone")
        << ConvertRequest{"h.pdf", 2, 0, false, false, "", {}, false, false, true};
    QTest::newRow("the run's address rules") << ConvertRequest{
        "i.pdf", 0, 0, true, false, "eng", {"pw"}, false, false, false, "65532 -example.com +*.org"};
}

void TestWorkerProtocol::requestRoundTrip()
{
    QFETCH(ConvertRequest, request);
    const std::optional<ConvertRequest> decoded = roundTrip(request);
    QVERIFY(decoded);
    QVERIFY(*decoded == request);
}

void TestWorkerProtocol::eventRoundTrip_data()
{
    QTest::addColumn<PageEvent>("event");
    QTest::newRow("text") << PageEvent::opened(Outcome::Text, 200);
    QTest::newRow("needs password") << PageEvent::opened(Outcome::NeedsPassword, 0);
    QTest::newRow("wrong password") << PageEvent::opened(Outcome::WrongPassword, 0);
    QTest::newRow("damaged") << PageEvent::opened(Outcome::Damaged, 0, "3");
    QTest::newRow("not regular") << PageEvent::opened(Outcome::NotRegular, 0);
    QTest::newRow("error") << PageEvent::opened(Outcome::Error, 0, "the input ended inside a request");
    QTest::newRow("recognising") << PageEvent::recognising(3, 7);
    QTest::newRow("a piece of text") << PageEvent::text(2, std::string_view("line\n\0\f", 7));
    QTest::newRow("an empty piece") << PageEvent::text(1, {});
    QTest::newRow("link") << PageEvent::link(9, "mailto:a@b.cd?subject=x");
    QTest::newRow("unsure address") << PageEvent::unsure(3, "ma1l@b.cd", {});
    QTest::newRow("unsure, with what readings made of it")
        << PageEvent::unsure(1, "a@b.cd", {"a@b.ed", "e@b.cd"});
    QTest::newRow("page not read whole") << PageEvent::incomplete(4, "an image was left out");
    QTest::newRow("page end") << PageEvent::pageEnd(2147483647);
    QTest::newRow("a note") << PageEvent::note(2, SourceKind::Annotation, false, "ask anna@b.cd");
    QTest::newRow("a form value shown") << PageEvent::note(1, SourceKind::Form, true, "x@y.cd");
    QTest::newRow("metadata") << PageEvent::extra("", 0, SourceKind::Metadata, false, "Author", "A <a@b.cd>");
    QTest::newRow("an attached PDF's note")
        << PageEvent::extra("a.pdf \xc2\xbb b.pdf", 3, SourceKind::Annotation, true, "", "z@y.cd");
    QTest::newRow("an attached file's empty text")
        << PageEvent::extra("c.txt", 0, SourceKind::Text, false, "", "");
    QTest::newRow("an attached file not read") << PageEvent::notRead("photo.jpg", "a picture");
    QTest::newRow("done") << PageEvent::done();
}

void TestWorkerProtocol::eventRoundTrip()
{
    QFETCH(PageEvent, event);
    FrameReader reader;
    const std::vector<Frame> frames = readAll(EncodeEvent(event), 7, reader);
    QCOMPARE(frames.size(), std::size_t(1));
    const std::optional<PageEvent> decoded = DecodeEvent(frames.front());
    QVERIFY(decoded);
    QVERIFY(*decoded == event);
    QCOMPARE(OutcomeFromName(OutcomeName(event.outcome)), std::optional<Outcome>(event.outcome));
}

void TestWorkerProtocol::framesFedOneByteAtATime()
{
    const ConvertRequest request{"/x/y.pdf", 2, 5, false, true, "", {"pw"}};
    const std::vector<Frame> sent{
        {FrameType::Opened, {"text", "", "2"}},
        {FrameType::Text, {"2", std::string("line\n\f", 6)}},
        {FrameType::Link, {"2", "mailto:a@b.cd"}},
        {FrameType::Unsure, {"2", "ma1l@b.cd", "mail@b.cd"}},
        {FrameType::PageEnd, {"2"}},
        {FrameType::Done, {}},
    };
    std::string stream = EncodeRequest(request);
    for (const Frame &frame : sent)
        stream +=
            EncodeFrame(frame.type, std::vector<std::string_view>(frame.fields.begin(), frame.fields.end()));

    FrameReader reader;
    std::vector<Frame> got;
    for (std::size_t at = 0; at < stream.size(); ++at) {
        reader.feed(std::string_view(stream).substr(at, 1));
        // Nothing is taken before its last byte is there, and then at once.
        std::optional<Frame> frame = reader.next();
        if (frame)
            got.push_back(std::move(*frame));
        QCOMPARE(reader.next(), std::optional<Frame>());
    }
    QVERIFY(!reader.broken());
    QCOMPARE(reader.pending(), std::size_t(0));
    QCOMPARE(got.size(), sent.size() + 1);
    QVERIFY(DecodeRequest(got.front()) == request);
    for (std::size_t i = 0; i < sent.size(); ++i)
        QVERIFY(got[i + 1] == sent[i]);
}

void TestWorkerProtocol::brokenStreams_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("unknown type") << bytes(header('Z', 0));
    QTest::newRow("type of no frame, lower case") << bytes(header('c', 0));
    QTest::newRow("one byte past the limit") << bytes(header('T', std::uint32_t(kMaxFrame + 1)));
    QTest::newRow("largest length") << bytes(header('T', 0xFFFFFFFFu));
    QTest::newRow("field longer than the payload") << bytes(header('C', 6) + std::string("\x05\0\0\0ab", 6));
    QTest::newRow("payload ends inside a field length") << bytes(header('E', 3) + std::string("\x01\0\0", 3));
    QTest::newRow("payload ends after a field") << bytes(header('E', 7) + std::string("\x01\0\0\0"
                                                                                      "1"
                                                                                      "\0\0",
                                                                                      7));
}

void TestWorkerProtocol::brokenStreams()
{
    QFETCH(QByteArray, tail);
    const std::string good = EncodeFrame(FrameType::PageEnd, {"4"});
    FrameReader reader;
    const std::vector<Frame> frames = readAll(good + tail.toStdString(), 3, reader);
    // The frame before the break still comes; then nothing more, whatever follows.
    QCOMPARE(frames.size(), std::size_t(1));
    QVERIFY(frames.front() == (Frame{FrameType::PageEnd, {"4"}}));
    QVERIFY(reader.broken());
    reader.feed(good);
    QCOMPARE(reader.next(), std::optional<Frame>());
    QVERIFY(reader.broken());
}

void TestWorkerProtocol::longestFrameIsAwaited()
{
    FrameReader reader;
    reader.feed(header('T', std::uint32_t(kMaxFrame)));
    QCOMPARE(reader.next(), std::optional<Frame>());
    QVERIFY(!reader.broken());
    QCOMPARE(reader.pending(), std::size_t(5));
}

void TestWorkerProtocol::requestsRefused_data()
{
    QTest::addColumn<Frame>("frame");
    QTest::newRow("an answer's type") << Frame{FrameType::Opened, {"a.pdf", "", "", "", ""}};
    QTest::newRow("four fields") << Frame{FrameType::Convert, {"a.pdf", "", "", ""}};
    QTest::newRow("no rules field") << Frame{FrameType::Convert, {"a.pdf", "", "", "", ""}};
    QTest::newRow("unknown option") << Frame{FrameType::Convert, {"a.pdf", "", "", "lx", "", ""}};
    QTest::newRow("negative zero") << Frame{FrameType::Convert, {"a.pdf", "-0", "", "", "", ""}};
    QTest::newRow("plus sign") << Frame{FrameType::Convert, {"a.pdf", "+1", "", "", "", ""}};
    QTest::newRow("past int") << Frame{FrameType::Convert, {"a.pdf", "", "2147483648", "", "", ""}};
    QTest::newRow("eleven digits") << Frame{FrameType::Convert, {"a.pdf", "00000000001", "", "", "", ""}};
    QTest::newRow("space") << Frame{FrameType::Convert, {"a.pdf", " 1", "", "", "", ""}};
}

void TestWorkerProtocol::requestsRefused()
{
    QFETCH(Frame, frame);
    QCOMPARE(DecodeRequest(frame), std::optional<ConvertRequest>());
    QCOMPARE(DecodeEvent(frame), std::optional<PageEvent>());
}

void TestWorkerProtocol::stops_data()
{
    QTest::addColumn<Frame>("frame");
    QTest::addColumn<int>("last"); // 0: no stop
    const auto encoded = [](int page) {
        FrameReader reader;
        reader.feed(EncodeStopAfter(page));
        return *reader.next();
    };
    QTest::newRow("first page") << encoded(1) << 1;
    QTest::newRow("largest page") << encoded(2147483647) << 2147483647;
    QTest::newRow("page 0") << Frame{FrameType::StopAfter, {"0"}} << 0;
    QTest::newRow("no page") << Frame{FrameType::StopAfter, {""}} << 0;
    QTest::newRow("two pages") << Frame{FrameType::StopAfter, {"1", "2"}} << 0;
    QTest::newRow("a request") << Frame{FrameType::Convert, {"a.pdf", "", "3", "", ""}} << 0;
}

// A stop is neither a request nor an answer's event.
void TestWorkerProtocol::stops()
{
    QFETCH(Frame, frame);
    QFETCH(int, last);
    QCOMPARE(DecodeStopAfter(frame), last > 0 ? std::optional<int>(last) : std::nullopt);
    if (frame.type == FrameType::StopAfter)
        QCOMPARE(DecodeRequest(frame), std::optional<ConvertRequest>());
    QCOMPARE(DecodeEvent(frame), std::optional<PageEvent>());
}

void TestWorkerProtocol::eventsRefused_data()
{
    QTest::addColumn<Frame>("frame");
    QTest::newRow("unknown outcome") << Frame{FrameType::Opened, {"texts", "", "0"}};
    QTest::newRow("opened without a count") << Frame{FrameType::Opened, {"text", ""}};
    QTest::newRow("negative count") << Frame{FrameType::Opened, {"text", "", "-1"}};
    QTest::newRow("recognising without its pages") << Frame{FrameType::Recognising, {"1"}};
    QTest::newRow("text without a page") << Frame{FrameType::Text, {"abc"}};
    QTest::newRow("link of no page") << Frame{FrameType::Link, {"x", "mailto:a@b.cd"}};
    QTest::newRow("page end with text") << Frame{FrameType::PageEnd, {"1", "x"}};
    QTest::newRow("unsure without its address") << Frame{FrameType::Unsure, {"1"}};
    QTest::newRow("unsure of no page") << Frame{FrameType::Unsure, {"one", "a@b.cd"}};
    QTest::newRow("not whole, without a reason") << Frame{FrameType::Incomplete, {"1"}};
    QTest::newRow("done with a field") << Frame{FrameType::Done, {""}};
    QTest::newRow("note of an unknown kind") << Frame{FrameType::Note, {"1", "comment", "", "x"}};
    QTest::newRow("note shown as yes") << Frame{FrameType::Note, {"1", "form", "yes", "x"}};
    QTest::newRow("note without its text") << Frame{FrameType::Note, {"1", "form", ""}};
    QTest::newRow("extra of no page") << Frame{FrameType::Extra, {"", "", "metadata", "", "Author", "x"}};
    QTest::newRow("extra without a name") << Frame{FrameType::Extra, {"", "0", "metadata", "", "x"}};
    QTest::newRow("not read without a reason") << Frame{FrameType::NotRead, {"a.jpg"}};
}

void TestWorkerProtocol::eventsRefused()
{
    QFETCH(Frame, frame);
    QCOMPARE(DecodeEvent(frame), std::optional<PageEvent>());
}

void TestWorkerProtocol::numbers_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("value"); // -1: refused
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("leading zeros") << QByteArray("007") << 7;
    QTest::newRow("largest") << QByteArray("2147483647") << std::numeric_limits<int>::max();
    QTest::newRow("one past") << QByteArray("2147483648") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("negative") << QByteArray("-5") << -1;
    QTest::newRow("negative zero") << QByteArray("-0") << -1;
    QTest::newRow("hex") << QByteArray("0x10") << -1;
    QTest::newRow("trailing space") << QByteArray("12 ") << -1;
}

void TestWorkerProtocol::numbers()
{
    QFETCH(QByteArray, field);
    QFETCH(int, value);
    const std::optional<int> decoded = DecodeNumber(field.toStdString());
    QCOMPARE(decoded.value_or(-1), value);
    if (decoded)
        QCOMPARE(DecodeNumber(EncodeNumber(*decoded)), decoded);
}

QTEST_GUILESS_MAIN(TestWorkerProtocol)
#include "tst_workerprotocol.moc"
