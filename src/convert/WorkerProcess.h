#pragma once

#include "protocol/WorkerProtocol.h"

#include <QObject>
#include <QProcess>

#include <functional>
#include <string>

namespace pelmora {

// One converter worker (the converter's serve mode) and its pipes. It ends with this
// object, and also on its own when the program dies in any way: it dies with its parent
// and ends at the end of its input.
class WorkerProcess : public QObject
{
    Q_OBJECT
public:
    struct Client
    {
        std::function<void(const protocol::Frame &frame)> frame;
        // The worker died, could not start, or broke the protocol; it is of no more use.
        std::function<void()> broken;
    };

    // `memoryLimit`: the bytes of data it may allocate (RLIMIT_DATA); 0: no limit.
    WorkerProcess(const QString &program, qint64 memoryLimit, QObject *parent = nullptr);
    ~WorkerProcess() override;
    Q_DISABLE_COPY_MOVE(WorkerProcess)

    // Starts the process; what is sent before it runs waits in the pipe.
    void start();
    // Kills it at once; it is of no more use and says nothing more.
    void kill();
    bool isUsable() const { return m_usable; }
    // Who hears the frames from now on; an empty client hears nothing.
    void setClient(Client client) { m_client = std::move(client); }
    void send(const std::string &bytes);
    qint64 processId() const { return m_process.processId(); }
    // It ended because its memory ran out (the worker's status 3).
    bool ranOutOfMemory() const;
    // The last lines it wrote on its standard error since it was last asked to convert,
    // control characters written out, parted by " / "; what a worker that died said last.
    QString lastWords() const;
    void forgetWords() { m_said.clear(); }

private:
    void readFrames();
    void logMessages();
    void breakDown();

    QProcess m_process;
    protocol::FrameReader m_reader;
    QByteArray m_said; // the end of what it wrote on its standard error
    Client m_client;
    bool m_usable = true;
};

} // namespace pelmora
