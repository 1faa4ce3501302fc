#pragma once

#include <QObject>
#include <QPointer>

namespace pelmora {

// Whether long work (a run, a preview, a folder scan, a save) is under way, which the
// row-removing operations respect. The hourglass shows over the program while it is.
class BusyState : public QObject
{
    Q_OBJECT
public:
    // Busy for as long as it lives; holds stack, and the last one to go ends it.
    class Hold
    {
    public:
        explicit Hold(BusyState &state);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        QPointer<BusyState> m_state;
    };

    explicit BusyState(QObject *parent = nullptr) : QObject(parent) {}
    ~BusyState() override;
    Q_DISABLE_COPY_MOVE(BusyState)

    bool isBusy() const { return m_holds > 0; }

private:
    void change(int by);

    int m_holds = 0;
};

} // namespace pelmora
