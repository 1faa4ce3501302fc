#include "convert/ConverterService.h"

#include "convert/ConverterWorkspace.h"
#include "convert/WorkerProcess.h"
#include "core/NativePath.h"

#include <QPointer>

namespace pelmora {

namespace {

ConversionOutcome outcomeOf(protocol::Outcome outcome)
{
    switch (outcome) {
    case protocol::Outcome::Text:
        return ConversionOutcome::Text;
    case protocol::Outcome::NeedsPassword:
        return ConversionOutcome::NeedsPassword;
    case protocol::Outcome::WrongPassword:
        return ConversionOutcome::WrongPassword;
    case protocol::Outcome::Damaged:
    case protocol::Outcome::NotRegular:
    case protocol::Outcome::Error:
        break;
    }
    return ConversionOutcome::Damaged;
}

protocol::ConvertRequest protocolRequest(const ConversionRequest &request)
{
    protocol::ConvertRequest out;
    out.path = NativePath(request.pdf).toStdString();
    out.firstPage = request.firstPage;
    out.lastPage = request.lastPage;
    out.recognise = request.recognise;
    out.links = request.links;
    out.languages = request.languages.toStdString();
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
        m_worker->send(protocol::EncodeRequest(protocolRequest(request())));
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
        using protocol::FrameType;
        const auto number = [&](std::size_t field) {
            return frame.fields.size() > field ? protocol::DecodeNumber(frame.fields[field]) : std::nullopt;
        };
        switch (frame.type) {
        case FrameType::Opened:
            m_opened = protocol::DecodeOpened(frame);
            if (!m_opened)
                return onBroken();
            if (m_opened->outcome == protocol::Outcome::Text)
                Q_EMIT opened();
            return;
        case FrameType::Recognising:
            if (!number(0) || !number(1))
                return onBroken();
            Q_EMIT recognising(*number(0), *number(1));
            return;
        case FrameType::Text:
            if (!m_opened || !number(0) || frame.fields.size() != 2)
                return onBroken();
            m_page.append(frame.fields[1].data(), static_cast<qsizetype>(frame.fields[1].size()));
            return;
        case FrameType::Link:
            if (!number(0) || frame.fields.size() != 2)
                return onBroken();
            m_links.append(QByteArray::fromStdString(frame.fields[1]));
            return;
        case FrameType::Unsure:
            // Unsure recognised addresses are not in the page's text; the run does not
            // take them up yet.
            if (!protocol::DecodeUnsure(frame))
                return onBroken();
            return;
        case FrameType::PageEnd:
            if (!m_opened || !number(0))
                return onBroken();
            Q_EMIT pageConverted(*number(0), std::exchange(m_page, {}));
            for (const QByteArray &target : std::exchange(m_links, {}))
                Q_EMIT linkFound(*number(0), target);
            return;
        case FrameType::Done:
            if (!m_opened)
                return onBroken();
            m_service->giveBack(std::exchange(m_worker, nullptr));
            finish(outcomeOf(m_opened->outcome));
            return;
        case FrameType::Convert:
            return onBroken();
        }
    }

    // Whatever it was doing, a worker that dies on a file is no judge of it: the file
    // counts as damaged, and a page cut short is not passed on.
    void onBroken()
    {
        abandon();
        finish(ConversionOutcome::Damaged);
    }

    QPointer<ConverterService> m_service;
    WorkerProcess *m_worker = nullptr;
    std::optional<protocol::Opened> m_opened;
    QByteArray m_page;
    QList<QByteArray> m_links; // of the page under way
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
        // Another window of the same user may have removed the converter on closing.
        m_workspace.restoreConverter();
        worker = new WorkerProcess(m_workspace.ConverterPath(), this);
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
