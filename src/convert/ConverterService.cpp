#include "convert/ConverterService.h"

#include "convert/ConverterIdentity.h"
#include "convert/ConverterQuestion.h"
#include "convert/ConverterWorkspace.h"
#include "convert/WorkerProcess.h"
#include "core/NativePath.h"

#include <QPointer>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// As the worker words it (worker/MemoryWatch.h).
QString MemoryShortage(qint64 limit)
{
    return u"needs more memory than the "_s + QString::number(limit / (1024 * 1024)) +
           u" MB a converter may use"_s;
}

protocol::ConvertRequest protocolRequest(const ConversionRequest &request)
{
    protocol::ConvertRequest out;
    out.path = NativePath(request.pdf).toStdString();
    out.firstPage = request.firstPage;
    out.lastPage = request.lastPage;
    out.recognise = request.recognise;
    out.links = request.links;
    out.notes = request.notes;
    out.metadata = request.metadata;
    out.attachments = request.attachments;
    out.languages = request.languages.toStdString();
    out.addressRules = request.addressRules.toStdString();
    for (const QString &password : request.passwords)
        out.passwords.push_back(password.toStdString());
    return out;
}

} // namespace

// One file on one worker: the worker's frames become pages and an outcome.
class ServiceConversion : public Conversion
{
public:
    ServiceConversion(ConverterService &service, Clock &clock, const ConversionRequest &request)
        : Conversion(clock, request, nullptr), m_service(&service)
    {
    }

    ~ServiceConversion() override { abandon(); }
    Q_DISABLE_COPY_MOVE(ServiceConversion)

protected:
    void begin() override
    {
        m_worker = m_service->takeWorker();
        m_worker->setClient(
            {[this](const protocol::Frame &frame) { onFrame(frame); }, [this] { onBroken(); }});
        if (!m_worker->isUsable()) {
            onBroken();
            return;
        }
        m_worker->forgetWords(); // what it said of the file before is not this file's
        m_worker->send(protocol::EncodeRequest(protocolRequest(request())));
    }

    bool stopAfter(int lastPage) override
    {
        if (!m_worker || !isRunning())
            return false;
        m_worker->send(protocol::EncodeStopAfter(lastPage));
        return true;
    }

    void abandon() override
    {
        // A worker cannot be stopped half-way through a file: it goes.
        if (m_worker && m_service)
            m_service->letGo(m_worker);
        m_worker = nullptr;
    }

private:
    void onFrame(const protocol::Frame &frame)
    {
        const std::optional<protocol::PageEvent> event = protocol::DecodeEvent(frame);
        if (!event || !take(*event))
            return onBroken();
        // The end is told from the event loop: whoever hears it finds the worker free.
        // A receiver of a page may have cancelled the conversion and let the worker go.
        if (event->type == protocol::FrameType::Done && m_worker)
            m_service->giveBack(std::exchange(m_worker, nullptr));
    }

    // Whatever it was doing, a worker that dies on a file is no judge of it: the file
    // counts as damaged, with the last words the worker wrote, and a page cut short is not
    // passed on. One whose memory ran out says so.
    void onBroken()
    {
        const bool memory = m_worker && m_worker->ranOutOfMemory();
        const QString lastWords = m_worker ? m_worker->lastWords() : QString();
        abandon();
        if (memory)
            finish(ConversionOutcome::Failed, MemoryShortage(m_service ? m_service->memoryLimit() : 0));
        else
            finish(ConversionOutcome::Damaged, lastWords);
    }

    QPointer<ConverterService> m_service;
    WorkerProcess *m_worker = nullptr;
};

ConverterService::ConverterService(ConverterWorkspace &workspace, Clock &clock, QObject *parent)
    : QObject(parent), m_workspace(workspace), m_clock(clock)
{
}

ConverterService::~ConverterService()
{
    qDeleteAll(m_free);
    qDeleteAll(m_busy);
}

std::unique_ptr<Conversion> ConverterService::convert(const ConversionRequest &request)
{
    return std::make_unique<ServiceConversion>(*this, m_clock, request);
}

QString ConverterService::identity(const ConversionRequest &like)
{
    // The program's path names its engine (pelmora-convert, pelmora-convert-mupdf), and
    // its file changes with a build; MuPDF is linked in whole, poppler is a library.
    const QString program = m_workspace.converterPath();
    const QString text = FileIdentity(program) + u", "_s + PopplerIdentity();
    if (!like.recognise)
        return text;
    // Recognition depends on the libraries' versions as loaded and on the language data:
    // the worker is asked, once for each list of languages.
    if (!m_recognition.contains(like.languages)) {
        const std::optional<QByteArray> data = AskConverter(program, {u"--ocr-data"_s, like.languages});
        m_recognition.insert(like.languages,
                             data && data->startsWith("pelmora-convert")
                                 ? u"ocr "_s + like.languages + u'\n' + QString::fromUtf8(*data)
                                 : QString());
    }
    const QString recognition = m_recognition.value(like.languages);
    return recognition.isEmpty() ? QString() : text + u'\n' + recognition;
}

QList<qint64> ConverterService::workerIds() const
{
    QList<qint64> ids;
    for (const QList<WorkerProcess *> *list : {&m_free, &m_busy}) {
        for (const WorkerProcess *worker : *list)
            ids.append(worker->processId());
    }
    return ids;
}

WorkerProcess *ConverterService::takeWorker()
{
    WorkerProcess *worker = nullptr;
    while (!m_free.isEmpty() && !worker) {
        worker = m_free.takeLast();
        if (!worker->isUsable()) {
            worker->deleteLater(); // died while it waited
            worker = nullptr;
        }
    }
    if (!worker) {
        worker = new WorkerProcess(m_workspace.converterPath(), m_memoryLimit, this);
        worker->start();
    }
    m_busy.append(worker);
    return worker;
}

void ConverterService::giveBack(WorkerProcess *worker)
{
    worker->setClient({});
    m_busy.removeOne(worker);
    m_free.append(worker);
}

void ConverterService::letGo(WorkerProcess *worker)
{
    m_busy.removeOne(worker);
    m_free.removeOne(worker);
    worker->kill();
    // Not at once: this may run inside the worker's own signal.
    worker->deleteLater();
}

} // namespace pelmora
