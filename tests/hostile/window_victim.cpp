// The window, started on the files given, pressing "Start Extracting" at once: a
// window in the middle of a run for a test to kill. Its converter is at its first argument.
#include "app/Form1.h"
#include "app/RunController.h"
#include "app/Settings.h"
#include "app/WidgetModal.h"
#include "convert/ConverterChoice.h"
#include "convert/ConverterService.h"
#include "core/Clock.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 3)
        return 2;
    pelmora::Settings settings(QDir::temp().filePath(QStringLiteral("victim.ini")));
    pelmora::ConverterWorkspace workspace(pelmora::ProgramOf(arguments[1]));
    pelmora::ConverterService converter(workspace, pelmora::Clock::system());
    pelmora::WidgetModal modal;
    pelmora::Form1 window(
        {modal, settings, workspace, converter, pelmora::Clock::system(), QDir::tempPath()});
    window.startUp();
    window.show();
    window.appendPaths(arguments.mid(2));
    QMetaObject::invokeMethod(&window.runController(), &pelmora::RunController::startOrStop,
                              Qt::QueuedConnection);
    return QApplication::exec();
}
