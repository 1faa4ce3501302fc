#include "run/InterruptNotifier.h"

#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>

namespace pelmora {

namespace {

int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t g_immediately = 0;

// Only async-signal-safe work here; the event loop does the rest.
void onSignal(int signal)
{
    if (g_immediately) {
        // Delivered again, to the default action, once this handler returns.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject *parent) : QObject(parent)
{
    if (::pipe(g_pipe) != 0)
        return;
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(g_pipe[0], &byte, 1);
        Q_EMIT interrupted();
    });
}

InterruptNotifier::Immediately::Immediately()
{
    g_immediately = 1;
}

InterruptNotifier::Immediately::~Immediately()
{
    g_immediately = 0;
}

InterruptNotifier::~InterruptNotifier()
{
    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace pelmora
