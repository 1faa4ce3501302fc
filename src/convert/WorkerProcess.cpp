#include "convert/WorkerProcess.h"

#include "convert/ConvertLog.h"
#include "core/NativePath.h"

#include <QPointer>
#include <QProcessEnvironment>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// The worker's status when its memory ran out (worker/MemoryWatch.h).
constexpr int kOutOfMemoryStatus = 3;

// A sanitizer reserves terabytes of shadow memory, which a limit on data refuses.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kCanLimitMemory = false;
#else
constexpr bool kCanLimitMemory = true;
#endif

} // namespace

WorkerProcess::WorkerProcess(const QString &program, qint64 memoryLimit, QObject *parent) : QObject(parent)
{
    m_process.setProgram(program);
    m_process.setArguments({u"--serve"_s});
    // Tesseract's OpenMP threads fight each other when every worker takes all cores:
    // the pool is the parallelism.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"OMP_THREAD_LIMIT"_s, u"1"_s);
    m_process.setProcessEnvironment(environment);
    // Dies with the program, however the program ends. The worker does this too, but
    // only once it runs; here nothing can slip in between.
    // Its memory is bounded from the start, before any library in it allocates.
    const rlim_t limit = kCanLimitMemory && memoryLimit > 0 ? rlim_t(memoryLimit) : RLIM_INFINITY;
    m_process.setChildProcessModifier([limit] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (limit != RLIM_INFINITY) {
            const rlimit data{limit, limit};
            ::setrlimit(RLIMIT_DATA, &data);
        }
    });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &WorkerProcess::readFrames);
    // Its outcomes come as frames; what it says besides is for the log only.
    connect(&m_process, &QProcess::readyReadStandardError, this, &WorkerProcess::logMessages);
    connect(&m_process, &QProcess::finished, this, &WorkerProcess::breakDown);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart || error == QProcess::Crashed)
            breakDown();
    });
}

WorkerProcess::~WorkerProcess()
{
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void WorkerProcess::start()
{
    m_process.start(QIODevice::ReadWrite);
    qCDebug(lcConvert) << "worker" << m_process.processId() << "started:" << m_process.program();
}

void WorkerProcess::kill()
{
    m_usable = false;
    m_client = {};
    if (m_process.state() != QProcess::NotRunning)
        m_process.kill();
}

void WorkerProcess::send(const std::string &bytes)
{
    m_process.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

bool WorkerProcess::ranOutOfMemory() const
{
    return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit &&
           m_process.exitCode() == kOutOfMemoryStatus;
}

void WorkerProcess::readFrames()
{
    const QByteArray bytes = m_process.readAllStandardOutput();
    m_reader.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    const QPointer<WorkerProcess> alive(this);
    while (std::optional<protocol::Frame> frame = m_reader.next()) {
        // A copy: the client may give the worker back, and so replace itself, meanwhile.
        const Client client = m_client;
        if (client.frame)
            client.frame(*frame);
        if (!alive)
            return;
    }
    if (m_reader.broken())
        breakDown();
}

void WorkerProcess::logMessages()
{
    // Enough for the last lines of a dying library; a flood of messages costs nothing.
    constexpr qsizetype kKept = 1024;
    const QByteArray said = m_process.readAllStandardError();
    m_said.append(said);
    m_said = m_said.right(kKept);
    if (!lcWorker().isDebugEnabled())
        return;
    const qint64 pid = m_process.processId();
    for (const QByteArray &line : said.split('\n')) {
        if (!line.isEmpty())
            qCDebug(lcWorker).noquote() << pid << QString::fromUtf8(line);
    }
}

QString WorkerProcess::lastWords() const
{
    constexpr int kLines = 3;
    QStringList lines;
    for (const QByteArray &line : m_said.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines.append(Printable(QString::fromUtf8(line.trimmed())));
    }
    return lines.mid(std::max<qsizetype>(0, lines.size() - kLines)).join(u" / "_s);
}

void WorkerProcess::breakDown()
{
    if (!m_usable)
        return;
    m_usable = false;
    logMessages(); // its last words, before anyone asks for them
    qCDebug(lcConvert) << "worker" << m_process.processId() << "is of no more use:" << m_process.errorString()
                       << "exit status" << m_process.exitCode();
    const Client client = m_client;
    if (client.broken)
        client.broken();
}

} // namespace pelmora
