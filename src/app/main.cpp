#include "app/Form1.h"
#include "app/ProgramFolder.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "app/WidgetModal.h"
#include "app/WindowArguments.h"
#include "cache/ResultsCache.h"
#include "convert/Conversion.h"
#include "convert/ConverterChoice.h"
#include "core/Clock.h"
#include "run/InterruptNotifier.h"

#include <QApplication>
#include <QDir>

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

    // PELMORA_CONVERTER=pdftotext: one pdftotext process per file, as older versions did.
    const QString chosen = qEnvironmentVariable("PELMORA_CONVERTER", QStringLiteral("service"));
    const std::optional<pelmora::ConverterKind> kind = pelmora::ConverterKindNamed(chosen);
    if (!kind) {
        std::fprintf(stderr, "pelmora: PELMORA_CONVERTER=%s names no converter; use service or pdftotext.\n",
                     chosen.toLocal8Bit().constData());
        return 2;
    }

    pelmora::Settings settings;
    const pelmora::PdfEngine engine = settings.pdfEngine();
    pelmora::ConverterWorkspace workspace(
        QDir::tempPath(), pelmora::ProgramOf(*kind, pelmora::InstalledServiceProgram(engine), engine));
    const std::unique_ptr<pelmora::Converter> converter =
        pelmora::CreateConverter(*kind, workspace, pelmora::Clock::system());
    pelmora::WidgetModal modal;
    pelmora::Form1 window({modal, settings, workspace, *converter, pelmora::Clock::system(),
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
