#pragma once

#include <QObject>

class QSocketNotifier;

namespace pelmora {

// Turns SIGINT, SIGTERM and SIGHUP into a signal of the event loop, so that being
// interrupted or logged out ends converters and removes temporary files as closing does.
// One per process.
class InterruptNotifier : public QObject
{
    Q_OBJECT
public:
    explicit InterruptNotifier(QObject *parent = nullptr);
    ~InterruptNotifier() override;
    Q_DISABLE_COPY_MOVE(InterruptNotifier)

    // While one lives, the signals end the process at once, as they would without a
    // notifier: for work before the event loop runs that has nothing to clean up and may
    // wait for ever in a read (a list or a part that is a FIFO, standard input).
    class Immediately
    {
    public:
        Immediately();
        ~Immediately();
        Q_DISABLE_COPY_MOVE(Immediately)
    };

Q_SIGNALS:
    void interrupted();

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace pelmora
