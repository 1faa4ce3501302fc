#pragma once

#include "convert/Conversion.h"

#include <QHash>
#include <QList>
#include <QObject>

namespace pelmora {

class ConverterWorkspace;
class WorkerProcess;

// Converts with long-lived workers, one file at a time each: a worker starts when a
// conversion finds none free and stays for the life of the service. Texts stream
// through the pipe page by page, and passwords travel only there. A worker that dies or
// is ended on a file (a deadline, a stop) is let go, and the next conversion starts a
// fresh one.
class ConverterService : public QObject, public Converter
{
    Q_OBJECT
public:
    ConverterService(ConverterWorkspace &workspace, Clock &clock, QObject *parent = nullptr);
    ~ConverterService() override;
    Q_DISABLE_COPY_MOVE(ConverterService)

    std::unique_ptr<Conversion> convert(const ConversionRequest &request) override;
    // The worker program's and poppler's files; with recognition also the worker's
    // --ocr-data for the languages.
    QString identity(const ConversionRequest &like) override;

    // The workers now alive, busy or free.
    QList<qint64> workerIds() const;

private:
    friend class ServiceConversion;
    WorkerProcess *takeWorker();
    void giveBack(WorkerProcess *worker);
    void letGo(WorkerProcess *worker);

    ConverterWorkspace &m_workspace;
    Clock &m_clock;
    QList<WorkerProcess *> m_free;
    QList<WorkerProcess *> m_busy;
    QHash<QString, QString> m_recognition; // --ocr-data by languages; empty: no answer
};

} // namespace pelmora
