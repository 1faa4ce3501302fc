#include "WorkerSession.h"

#include <QFile>

#include <sys/resource.h>

#include "TestData.h"

#include <QDeadlineTimer>
#include <QTest>

namespace pelmora::test {

namespace {

// Far beyond any conversion here; only a hung worker ever reaches it.
constexpr int kPatienceMs = 60000;

std::optional<int> pageOf(const protocol::Frame &frame)
{
    return frame.fields.empty() ? std::nullopt : protocol::DecodeNumber(frame.fields[0]);
}

// Whether the bytes sent hold a stop.
bool asksToStop(const QByteArray &request)
{
    protocol::FrameReader reader;
    reader.feed(std::string_view(request.constData(), std::size_t(request.size())));
    while (const std::optional<protocol::Frame> frame = reader.next()) {
        if (frame->type == protocol::FrameType::StopAfter)
            return true;
    }
    return false;
}

class AnswerParser
{
public:
    AnswerParser(ParsedAnswers &into, bool stopped) : m_into(into), m_stopped(stopped) {}

    // False once the order broke; the reason is in problem.
    bool take(const protocol::Frame &frame)
    {
        if (!m_into.problem.isEmpty())
            return false;
        ++m_into.rest;
        if (!m_open)
            return opened(frame);
        switch (frame.type) {
        case protocol::FrameType::Recognising:
            return recognising(frame);
        case protocol::FrameType::Text:
        case protocol::FrameType::Link:
        case protocol::FrameType::Unsure:
        case protocol::FrameType::Incomplete:
        case protocol::FrameType::PageEnd:
            return pageFrame(frame);
        case protocol::FrameType::Done:
            if (!frame.fields.empty())
                return fail(QStringLiteral("'D' with fields"));
            if (m_inPage || int(m_current.pages.size()) > m_current.opened.pageCount ||
                (!m_stopped && int(m_current.pages.size()) != m_current.opened.pageCount))
                return fail(QStringLiteral("'D' after %1 of %2 pages")
                                .arg(m_current.pages.size())
                                .arg(m_current.opened.pageCount));
            m_into.answers.push_back(std::move(m_current));
            m_current = {};
            m_open = false;
            m_into.rest = 0;
            return true;
        default:
            return fail(QStringLiteral("unexpected frame '%1'").arg(QChar::fromLatin1(char(frame.type))));
        }
    }

private:
    bool fail(const QString &problem)
    {
        m_into.problem = problem;
        return false;
    }

    bool opened(const protocol::Frame &frame)
    {
        const std::optional<protocol::PageEvent> head = protocol::DecodeEvent(frame);
        if (!head || head->type != protocol::FrameType::Opened)
            return fail(QStringLiteral("an answer that does not start with a valid 'O'"));
        if (head->outcome != protocol::Outcome::Text && head->pages != 0)
            return fail(QStringLiteral("pages announced without text"));
        m_current.opened = {head->outcome, std::string(head->bytes), head->pages};
        m_open = true;
        return true;
    }

    // 'R' opens its page: nothing of the page may come before it.
    bool recognising(const protocol::Frame &frame)
    {
        const std::optional<int> page = pageOf(frame);
        const std::optional<int> pages =
            frame.fields.size() == 2 ? protocol::DecodeNumber(frame.fields[1]) : std::nullopt;
        if (!page || !pages)
            return fail(QStringLiteral("an 'R' frame with bad fields"));
        if (m_inPage)
            return fail(QStringLiteral("'R' inside page %1").arg(m_current.pages.back().page));
        if (*pages != m_current.opened.pageCount)
            return fail(
                QStringLiteral("'R' counts %1 pages of %2").arg(*pages).arg(m_current.opened.pageCount));
        if (!openPage(*page))
            return false;
        m_current.pages.back().recognising = 1;
        m_current.pages.back().recognisingOf = *pages;
        return true;
    }

    bool openPage(int page)
    {
        if (int(m_current.pages.size()) >= m_current.opened.pageCount)
            return fail(QStringLiteral("more pages than announced"));
        if (!m_current.pages.empty() && page != m_current.pages.back().page + 1)
            return fail(QStringLiteral("page %1 out of order").arg(page));
        m_current.pages.push_back(PageAnswer{page, {}, 0, {}, {}, {}, 0, 0, {}});
        m_inPage = true;
        return true;
    }

    bool pageFrame(const protocol::Frame &frame)
    {
        const std::optional<int> page = pageOf(frame);
        const std::size_t fields = frame.type == protocol::FrameType::PageEnd ? 1 : 2;
        const bool unsure = frame.type == protocol::FrameType::Unsure;
        if (!page || (unsure ? !protocol::DecodeEvent(frame) : frame.fields.size() != fields))
            return fail(QStringLiteral("a page frame with bad fields"));
        if (!m_inPage && !openPage(*page))
            return false;
        PageAnswer &current = m_current.pages.back();
        if (*page != current.page)
            return fail(QStringLiteral("page %1 inside page %2").arg(*page).arg(current.page));
        if (frame.type == protocol::FrameType::Text) {
            if (!current.links.isEmpty() || !current.unsure.isEmpty())
                return fail(QStringLiteral("text after a link or an unsure address on page %1").arg(*page));
            current.text += QByteArray::fromStdString(frame.fields[1]);
            ++current.pieces;
        } else if (frame.type == protocol::FrameType::Link) {
            if (!current.unsure.isEmpty())
                return fail(QStringLiteral("a link after an unsure address on page %1").arg(*page));
            current.links << QByteArray::fromStdString(frame.fields[1]);
        } else if (frame.type == protocol::FrameType::Unsure) {
            if (!current.recognising)
                return fail(
                    QStringLiteral("an unsure address on page %1, which was not recognised").arg(*page));
            current.unsure << QByteArray::fromStdString(frame.fields[1]);
            for (std::size_t i = 2; i < frame.fields.size(); ++i)
                current.alternatives << QByteArray::fromStdString(frame.fields[i]);
        } else if (frame.type == protocol::FrameType::Incomplete) {
            if (!current.incomplete.isEmpty())
                return fail(QStringLiteral("two reasons for page %1").arg(*page));
            current.incomplete = QByteArray::fromStdString(frame.fields[1]);
        } else {
            m_inPage = false;
        }
        return true;
    }

    ParsedAnswers &m_into;
    bool m_stopped;
    WorkerAnswer m_current;
    bool m_open = false;
    bool m_inPage = false;
};

} // namespace

QByteArray WorkerAnswer::text() const
{
    QByteArray all;
    for (const PageAnswer &page : pages)
        all += page.text;
    return all;
}

QList<QByteArray> WorkerAnswer::links() const
{
    QList<QByteArray> all;
    for (const PageAnswer &page : pages)
        all += page.links;
    return all;
}

ParsedAnswers ParseAnswers(const QByteArray &output, bool stopped)
{
    ParsedAnswers parsed;
    protocol::FrameReader reader;
    reader.feed(std::string_view(output.constData(), std::size_t(output.size())));
    AnswerParser parser(parsed, stopped);
    while (std::optional<protocol::Frame> frame = reader.next()) {
        if (!parser.take(*frame))
            return parsed;
    }
    if (reader.broken())
        parsed.problem = QStringLiteral("the output breaks the framing");
    else if (reader.pending() != 0)
        parsed.problem = QStringLiteral("the output ends inside a frame");
    return parsed;
}

QByteArray Request(const QByteArray &path, const QList<QByteArray> &passwords, int first, int last,
                   const QByteArray &options, const QByteArray &languages)
{
    protocol::ConvertRequest request;
    request.path = path.toStdString();
    request.firstPage = first;
    request.lastPage = last;
    request.recognise = options.contains('o');
    request.links = options.contains('l');
    request.languages = languages.toStdString();
    for (const QByteArray &password : passwords)
        request.passwords.push_back(password.toStdString());
    return QByteArray::fromStdString(protocol::EncodeRequest(request));
}

WorkerSession::WorkerSession(const QString &engine) : m_program(ServiceProgram(engine))
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

WorkerSession::~WorkerSession()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(kPatienceMs);
    }
}

void WorkerSession::setEnvironment(const QProcessEnvironment &environment)
{
    m_process.setProcessEnvironment(environment);
}

QByteArray WorkerSession::standardError()
{
    m_stderr += m_process.readAllStandardError();
    return m_stderr;
}

void WorkerSession::setMemoryLimit(qint64 bytes)
{
    m_process.setChildProcessModifier([bytes] {
        if (bytes > 0) {
            const rlimit data{rlim_t(bytes), rlim_t(bytes)};
            ::setrlimit(RLIMIT_DATA, &data);
        }
    });
}

qint64 WorkerSession::peakMemory() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    if (m_process.state() == QProcess::NotRunning || !status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

bool WorkerSession::start()
{
    m_process.start(m_program, {QStringLiteral("--serve")});
    if (!m_process.waitForStarted(kPatienceMs)) {
        QTest::qFail(qPrintable(m_program + QStringLiteral(" --serve did not start")), __FILE__, __LINE__);
        return false;
    }
    return true;
}

std::optional<WorkerAnswer> WorkerSession::ask(const QByteArray &request)
{
    m_process.write(request);
    QByteArray raw;
    const QDeadlineTimer deadline(kPatienceMs);
    for (;;) {
        while (std::optional<protocol::Frame> frame = m_reader.next()) {
            const QByteArray encoded = QByteArray::fromStdString(protocol::EncodeFrame(
                frame->type, std::vector<std::string_view>(frame->fields.begin(), frame->fields.end())));
            raw += encoded;
            if (frame->type != protocol::FrameType::Done)
                continue;
            ParsedAnswers parsed = ParseAnswers(raw, asksToStop(request));
            if (!parsed.problem.isEmpty() || parsed.answers.size() != 1) {
                QTest::qFail(qPrintable(QStringLiteral("broken answer: ") + parsed.problem), __FILE__,
                             __LINE__);
                return std::nullopt;
            }
            return std::move(parsed.answers.front());
        }
        if (m_reader.broken() || deadline.hasExpired() ||
            (!m_process.waitForReadyRead(int(deadline.remainingTime())) && m_process.bytesAvailable() == 0)) {
            QTest::qFail("no whole answer from the worker", __FILE__, __LINE__);
            return std::nullopt;
        }
        const QByteArray got = m_process.readAllStandardOutput();
        m_reader.feed(std::string_view(got.constData(), std::size_t(got.size())));
    }
}

int WorkerSession::finish()
{
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(kPatienceMs))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

WholeRun RunWorker(const QByteArray &input, const QString &engine, const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(ServiceProgram(engine), {QStringLiteral("--serve")});
    WholeRun run;
    if (!process.waitForStarted(kPatienceMs))
        return run;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kPatienceMs)) {
        process.kill();
        process.waitForFinished(kPatienceMs);
        return run;
    }
    run.output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    return run;
}

Conversion RunConverter(const QString &program, const QStringList &arguments,
                        const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Conversion conversion;
    if (!process.waitForFinished(kPatienceMs)) {
        process.kill();
        process.waitForFinished(kPatienceMs);
        return conversion;
    }
    conversion.text = process.readAllStandardOutput();
    conversion.errors = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        conversion.exitCode = process.exitCode();
    return conversion;
}

} // namespace pelmora::test
