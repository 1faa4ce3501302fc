#include "convert/ProcessConverter.h"

#include "convert/ConverterCommand.h"
#include "convert/ConverterIdentity.h"
#include "convert/ConverterWorkspace.h"
#include "core/FileHelpers.h"
#include "core/NativePath.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// Read back a megabyte at a time, so the window stays responsive over a huge text.
constexpr qint64 kReadSize = qint64(1) << 20;
// What poppler says when a file needs a password it was not given.
constexpr QByteArrayView kPasswordMessage = "Incorrect password";

} // namespace

class ProcessConversion : public Conversion
{
public:
    ProcessConversion(ConverterWorkspace &workspace, Clock &clock, const ConversionRequest &request)
        : Conversion(clock, request, nullptr), m_workspace(workspace)
    {
        m_process.setStandardOutputFile(QProcess::nullDevice());
        // Its own process group, so that ending it also ends whatever it started, and
        // it dies with the program.
        m_process.setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        connect(&m_process, &QProcess::readyReadStandardError, this, &ProcessConversion::noteMessages);
        connect(&m_process, &QProcess::finished, this, &ProcessConversion::converterEnded);
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                converterEnded();
        });
        m_reader.setInterval(0);
        connect(&m_reader, &QTimer::timeout, this, &ProcessConversion::readSome);
    }

    ~ProcessConversion() override { abandon(); }
    Q_DISABLE_COPY_MOVE(ProcessConversion)

protected:
    void begin() override
    {
        const ConversionRequest &asked = request();
        m_output = m_workspace.newOutputPath();
        // A pipe or a device would keep the converter reading for ever.
        if (m_output.isEmpty() || !IsOpenableFile(asked.pdf))
            return finish(ConversionOutcome::Damaged);
        QString input = QFileInfo(asked.pdf).absoluteFilePath();
        if (HasRawBytes(input)) {
            // Its name is no UTF-8, so no argument can carry it; a link of ours can.
            m_link = m_output + QStringLiteral(".pdf");
            if (::symlink(NativePath(input).constData(), QFile::encodeName(m_link).constData()) != 0)
                return finish(ConversionOutcome::Damaged);
            input = m_link;
        }
        m_process.setProgram(m_workspace.ConverterPath());
        m_process.setArguments(ConverterArguments(asked.firstPage, asked.lastPage, input, m_output));
        m_process.start(QIODevice::ReadOnly);
    }

    void abandon() override
    {
        m_abandoned = true;
        m_reader.stop();
        m_text.close();
        if (m_process.state() != QProcess::NotRunning) {
            if (const qint64 pid = m_process.processId(); pid > 0)
                ::kill(-static_cast<pid_t>(pid), SIGKILL);
            m_process.kill();
            m_process.waitForFinished(3000);
        }
        removeFiles();
    }

private:
    void noteMessages()
    {
        // Only the tail matters, however much the converter says.
        m_messages += m_process.readAllStandardError();
        if (m_messages.contains(kPasswordMessage))
            m_needsPassword = true;
        m_messages = m_messages.right(kPasswordMessage.size());
    }

    void converterEnded()
    {
        if (m_abandoned || !isRunning())
            return;
        noteMessages();
        // A crashed converter's text is not the file's text: a word cut short can look
        // like an address that the file does not hold.
        const bool crashed = m_process.exitStatus() == QProcess::CrashExit;
        m_text.setFileName(m_output);
        if (!crashed && m_process.exitCode() == 0 && m_text.open(QIODevice::ReadOnly)) {
            m_nextPage = std::max(1, request().firstPage);
            m_reader.start();
            pass(protocol::PageEvent::opened(protocol::Outcome::Text, 0));
            return;
        }
        removeFiles();
        // An exit status is pdftotext's verdict on the file; a crash is not.
        finish(m_needsPassword && !crashed ? ConversionOutcome::NeedsPassword : ConversionOutcome::Damaged,
               {}, !crashed);
    }

    // The text file read back as a worker would stream it: a page ends at each form feed.
    void readSome()
    {
        const QByteArray chunk = m_text.read(kReadSize);
        if (chunk.isEmpty()) {
            const bool failed = m_text.error() != QFileDevice::NoError;
            if (!failed && !m_page.isEmpty())
                endPage();
            m_reader.stop();
            removeFiles();
            if (failed)
                finish(ConversionOutcome::Damaged);
            else
                pass(protocol::PageEvent::done());
            return;
        }
        qsizetype from = 0;
        for (qsizetype end = chunk.indexOf('\f'); end >= 0; end = chunk.indexOf('\f', from)) {
            m_page.append(chunk.sliced(from, end + 1 - from));
            from = end + 1;
            endPage();
        }
        m_page.append(chunk.sliced(from));
    }

    void endPage()
    {
        const QByteArray page = std::exchange(m_page, {});
        pass(protocol::PageEvent::text(m_nextPage, std::string_view(page.constData(), page.size())));
        pass(protocol::PageEvent::pageEnd(m_nextPage++));
    }

    // Events made here always come in order.
    void pass(const protocol::PageEvent &event)
    {
        [[maybe_unused]] const bool fits = take(event);
        Q_ASSERT(fits);
    }

    void removeFiles()
    {
        m_text.close();
        DeleteFileQuietly(m_output);
        DeleteFileQuietly(m_link);
    }

    ConverterWorkspace &m_workspace;
    QProcess m_process;
    QTimer m_reader;
    QFile m_text;
    QString m_output;
    QString m_link;
    QByteArray m_messages;
    QByteArray m_page;
    int m_nextPage = 1;
    bool m_needsPassword = false;
    bool m_abandoned = false;
};

ProcessConverter::ProcessConverter(ConverterWorkspace &workspace, Clock &clock)
    : m_workspace(workspace), m_clock(clock)
{
}

std::unique_ptr<Conversion> ProcessConverter::convert(const ConversionRequest &request)
{
    return std::make_unique<ProcessConversion>(m_workspace, m_clock, request);
}

QString ProcessConverter::identity(const ConversionRequest &like)
{
    Q_UNUSED(like); // it reads no scans
    return u"pdftotext "_s + FileIdentity(m_workspace.ConverterPath()) + u", "_s + PopplerIdentity();
}

} // namespace pelmora
