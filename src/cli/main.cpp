#include "cli/ExtractCommand.h"
#include "cli/ExtractOptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop does the rest.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

void catchInterrupts()
{
    if (::pipe(g_signalPipe) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelmora-extract"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));

    const pelmora::ParsedCommandLine parsed = pelmora::ParseExtractCommandLine(QCoreApplication::arguments());
    if (!parsed.shortText.isEmpty()) {
        std::fputs(parsed.shortText.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "pelmora-extract: %s\nTry 'pelmora-extract --help'.\n", parsed.error.toLocal8Bit().constData());
        return 2;
    }

    catchInterrupts();
    pelmora::ExtractCommand command(parsed.options, stdout, stderr);
    QSocketNotifier interrupted(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupted, &QSocketNotifier::activated, &command, &pelmora::ExtractCommand::interrupt);
    return command.exec();
}
