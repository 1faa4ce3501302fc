#include "run/Preview.h"

#include "convert/ConversionJob.h"
#include "convert/WaitProgress.h"
#include "core/AppError.h"
#include "core/FileHelpers.h"
#include "extract/ConvertedText.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

struct Reading
{
    QString text;
    QString error;
};

// Off the window's thread: a converted text may be large.
Reading ReadConvertedText(const QString &outputPath, const QString &pdf)
{
    try {
        if (NoTextPDF(outputPath))
            return {UnreadablePreviewText(pdf), {}};
        return {ReadWholeFile(outputPath), {}};
    } catch (const AppError &error) {
        return {{}, error.description()};
    } catch (const std::exception &error) {
        return {{}, QString::fromLocal8Bit(error.what())};
    }
}

} // namespace

QString PreviewFileName(const QString &pdf)
{
    return StripExtension(FileNameOfPath(pdf));
}

QString ProtectedPreviewText(const QString &pdf)
{
    return u"The file "_s + PreviewFileName(pdf) +
           u" can not be read by this software - password protected."_s;
}

QString UnreadablePreviewText(const QString &pdf)
{
    return u"The file "_s + PreviewFileName(pdf) +
           u" can not be read by this software - text unreadable. Please view the file yourself to see if it "
           u"is "
           u"really a scanned image of text and not proper PDF text."_s;
}

Preview::Preview(ConverterWorkspace &workspace, Clock &clock, const QString &pdf, const QString &password,
                 QObject *parent)
    : QObject(parent), m_workspace(workspace), m_clock(clock), m_pdf(pdf), m_password(password)
{
}

Preview::~Preview() = default;

void Preview::start()
{
    m_running = true;
    m_job = std::make_unique<ConversionJob>(m_workspace, m_clock, ConversionKind::Preview, m_pdf, m_password);
    connect(m_job.get(), &ConversionJob::polled, this, &Preview::onPolled);
    connect(m_job.get(), &ConversionJob::finished, this, &Preview::onConverted);
    m_job->start();
}

void Preview::cancel()
{
    if (!m_running)
        return;
    m_running = false;
    m_job.reset(); // ends the converter and removes its text
    Q_EMIT captionChanged(RestingCaption(QString()));
}

void Preview::onPolled(int counter)
{
    if (const std::optional<QString> caption = WaitCaption(QString(), counter))
        Q_EMIT captionChanged(*caption);
    if (const std::optional<int> value = CreepValue(counter, 0, 0))
        Q_EMIT valueChanged(*value);
}

void Preview::onConverted()
{
    if (!m_running)
        return;
    Q_EMIT captionChanged(RestingCaption(QString()));
    // Any failure to convert, a missing converter included, leaves no text behind.
    if (!m_job->hasOutput()) {
        finish(ProtectedPreviewText(m_pdf), {});
        return;
    }
    auto *watcher = new QFutureWatcher<Reading>(this);
    connect(watcher, &QFutureWatcher<Reading>::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (!m_running)
            return;
        const Reading reading = watcher->result();
        finish(reading.text, reading.error);
    });
    watcher->setFuture(QtConcurrent::run(ReadConvertedText, m_job->outputPath(), m_pdf));
}

void Preview::finish(const QString &text, const QString &error)
{
    m_running = false;
    m_job.reset();
    Q_EMIT finished(text, error);
}

} // namespace pelmora
