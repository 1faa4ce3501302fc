// The window, started on the files given, pressing "Start Extracting" at once: a
// window in the middle of a run for a test to kill. Its converter is the one named by
// its first argument (service or pdftotext); the program's own is at its second.
#include "app/Form1.h"
#include "app/RunController.h"
#include "app/Settings.h"
#include "app/WidgetModal.h"
#include "convert/Conversion.h"
#include "convert/ConverterChoice.h"
#include "core/Clock.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 4)
        return 2;
    const pelmora::ConverterKind kind = *pelmora::ConverterKindNamed(arguments[1]);
    pelmora::Settings settings(QDir::temp().filePath(QStringLiteral("victim.ini")));
    pelmora::ConverterWorkspace workspace(QDir::tempPath(), pelmora::ProgramOf(kind, arguments[2]));
    const auto converter = pelmora::CreateConverter(kind, workspace, pelmora::Clock::system());
    pelmora::WidgetModal modal;
    pelmora::Form1 window(
        {modal, settings, workspace, *converter, pelmora::Clock::system(), QDir::tempPath()});
    window.Form_Load();
    window.show();
    window.appendPaths(arguments.mid(3));
    QMetaObject::invokeMethod(&window.runController(), &pelmora::RunController::PushButton2_Click,
                              Qt::QueuedConnection);
    return QApplication::exec();
}
