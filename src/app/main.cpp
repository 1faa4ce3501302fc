#include "app/EngineConverters.h"
#include "app/ErrorMessage.h"
#include "app/Form1.h"
#include "app/ProgramFolder.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "app/WidgetModal.h"
#include "app/WindowArguments.h"
#include "cache/ResultsCache.h"
#include "convert/ConverterChoice.h"
#include "convert/ConverterService.h"
#include "core/Clock.h"
#include "core/CoreDumps.h"
#include "run/InterruptNotifier.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    pelmora::KeepOutOfCoreDumps();
    const pelmora::WindowArguments arguments = pelmora::SplitWindowArguments(argc, argv);
    int toolkitArgc = arguments.toolkitCount;
    QApplication app(toolkitArgc, argv);
    QApplication::setOrganizationName(QStringLiteral("Qarvelle"));
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("pelmora"));

    pelmora::Settings settings;
    // The preferences may choose another PDF library later: its converter is made then.
    pelmora::EngineConverters converters(settings.pdfEngine(), pelmora::Clock::system());
    pelmora::WidgetModal modal;
    pelmora::Form1 window({modal, settings, converters.startWorkspace(), converters.startConverter(),
                           pelmora::Clock::system(), pelmora::ProgramFolder(), pelmora::RollOneToHundred,
                           pelmora::MakerSiteUrl(), pelmora::ResultsCache::defaultFolder(),
                           [&converters](pelmora::PdfEngine engine) -> pelmora::Converter & {
                               return converters.converter(engine);
                           },
                           [&converters] { return converters.ocrLanguages(); }});
    modal.setOwner(&window);
    pelmora::ErrorMessage problems(modal);
    converters.setProblemSink(&problems);
    pelmora::InterruptNotifier interrupts;
    QObject::connect(&interrupts, &pelmora::InterruptNotifier::interrupted, &window, &QWidget::close);
    window.startUp();
    pelmora::CentreOnScreen(window);
    window.show();
    window.appendPaths(QApplication::arguments().mid(1) + arguments.filesAfter);
    return QApplication::exec();
}
