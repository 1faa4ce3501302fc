#include "app/Form1.h"
#include "app/ProgramFolder.h"
#include "app/Settings.h"
#include "app/StartUp.h"
#include "app/WidgetModal.h"
#include "convert/ConverterWorkspace.h"
#include "core/Clock.h"
#include "run/InterruptNotifier.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Qarvelle"));
    QApplication::setApplicationName(QStringLiteral("Pelmora"));
    QApplication::setApplicationVersion(QStringLiteral(PELMORA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("pelmora"));

    pelmora::Settings settings;
    pelmora::ConverterWorkspace workspace(QDir::tempPath());
    pelmora::WidgetModal modal;
    pelmora::Form1 window({modal, settings, workspace, pelmora::Clock::system(), pelmora::ProgramFolder(),
                           pelmora::RollOneToHundred});
    modal.setOwner(&window);
    pelmora::InterruptNotifier interrupts;
    QObject::connect(&interrupts, &pelmora::InterruptNotifier::interrupted, &window, &QWidget::close);
    window.Form_Load();
    pelmora::CentreOnScreen(window);
    window.show();
    window.appendPaths(QApplication::arguments().mid(1));
    return QApplication::exec();
}
