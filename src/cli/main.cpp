#include "cli/ExtractCommand.h"
#include "cli/ExtractOptions.h"
#include "cli/VersionReport.h"
#include "core/CoreDumps.h"
#include "run/InterruptNotifier.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    pelmora::KeepOutOfCoreDumps();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelmora-extract"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));

    // From argv itself: Qt's own decoding would lose the bytes of names that are no UTF-8.
    const pelmora::ParsedCommandLine parsed =
        pelmora::ParseExtractCommandLine(pelmora::CommandLineArguments(argc, argv));
    if (!parsed.shortText.isEmpty()) {
        std::fputs(parsed.shortText.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.versionAsked)
        return pelmora::PrintVersions(stdout, stderr);
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "pelmora-extract: %s\nTry 'pelmora-extract --help'.\n",
                     parsed.error.toLocal8Bit().constData());
        return 2;
    }

    pelmora::InterruptNotifier interrupts;
    pelmora::ExtractCommand command(parsed.options, stdout, stderr);
    QObject::connect(&interrupts, &pelmora::InterruptNotifier::interrupted, &command,
                     &pelmora::ExtractCommand::interrupt);
    QObject::connect(&command, &pelmora::ExtractCommand::finished, &app, &QCoreApplication::exit);
    command.start();
    return QCoreApplication::exec();
}
