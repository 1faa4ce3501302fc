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
#include "run/InterruptNotifier.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    const pelmora::WindowArguments arguments = pelmora::SplitWindowArguments(argc, argv);
    int toolkitArgc = arguments.toolkitCount;
    QApplication app(toolkitArgc, argv);
    QApplication::setOrganizationName(QStringLiteral("Qarvelle"));
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("pelmora"));

    pelmora::Settings settings;
    const pelmora::PdfEngine engine = settings.pdfEngine();
    pelmora::ConverterWorkspace workspace(
        pelmora::ProgramOf(pelmora::InstalledServiceProgram(engine), engine));
    pelmora::ConverterService converter(workspace, pelmora::Clock::system());
    pelmora::WidgetModal modal;
    pelmora::Form1 window({modal, settings, workspace, converter, pelmora::Clock::system(),
                           pelmora::ProgramFolder(), pelmora::RollOneToHundred, pelmora::MakerSiteUrl(),
                           pelmora::ResultsCache::defaultFolder()});
    modal.setOwner(&window);
    pelmora::InterruptNotifier interrupts;
    QObject::connect(&interrupts, &pelmora::InterruptNotifier::interrupted, &window, &QWidget::close);
    window.Form_Load();
    pelmora::CentreOnScreen(window);
    window.show();
    window.appendPaths(QApplication::arguments().mid(1) + arguments.filesAfter);
    return QApplication::exec();
}
