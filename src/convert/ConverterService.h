#pragma once

#include "convert/Conversion.h"

#include <QHash>
#include <QList>
#include <QObject>

namespace pelmora {

class ConverterWorkspace;
class WorkerProcess;

// What a worker may allocate, unless set otherwise: a worker that recognised an A4 page
// at 300 dpi with both tesseract models peaks at some 330 MB with either engine, and
// MuPDF's cache of fonts and pictures may hold up to 256 MB; a gigabyte leaves room for a
// page at the render cap, and with a worker per core a machine of two cores and a few
// gigabytes keeps its footing when every worker meets a hostile file at once.
constexpr qint64 kWorkerMemoryLimit = qint64{1024} * 1024 * 1024;

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

    // The bytes of data each worker started from now on may allocate; 0: no limit.
    void setMemoryLimit(qint64 bytes) { m_memoryLimit = bytes; }
    qint64 memoryLimit() const { return m_memoryLimit; }

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
    qint64 m_memoryLimit = kWorkerMemoryLimit;
};

} // namespace pelmora
