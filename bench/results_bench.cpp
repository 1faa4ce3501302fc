// Time and memory of the results output with a long list: saving both files, building
// and copying the clipboard text, clearing. Prints figures; run it from a Release build.
// It uses the offscreen platform unless QT_QPA_PLATFORM says otherwise, so the
// desktop's clipboard is left alone.
#include "app/BusyState.h"
#include "app/Clipboard.h"
#include "app/ErrorMessage.h"
#include "app/Modal.h"
#include "app/ResultsController.h"
#include "app/TextListModel.h"
#include "results/ClipboardText.h"
#include "results/ResultsFile.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// Answers the save dialog with one path and every question with Yes; counts messages.
class BenchModal : public Modal
{
public:
    QString path;
    int messages = 0;
    void showMessage(const QString &, const QString &text, Icon, std::function<void()> closed) override
    {
        ++messages;
        if (text.contains(u"Application Error"_s) || text.contains(u"could not"_s))
            std::fprintf(stderr, "error: %s\n", qPrintable(text));
        if (closed)
            closed();
    }
    void showMessageWithAction(const QString &title, const QString &text, const QString &,
                               std::function<void(bool)> answered) override
    {
        showMessage(title, text, Icon::None, {});
        answered(false);
    }
    void askYesNo(const QString &, const QString &, std::function<void(bool)> answered) override
    {
        answered(true);
    }
    void inputPassword(const QString &, const QString &,
                       std::function<void(const std::optional<QString> &)> answered) override
    {
        answered(QString());
    }
    void openFileNames(const QString &, const QStringList &,
                       std::function<void(const QStringList &)> answered) override
    {
        answered({});
    }
    void saveFileName(const QString &, const QStringList &,
                      std::function<void(const QString &, const QString &)> answered) override
    {
        answered(path, QString());
    }
    void existingFolder(const QString &, const QString &,
                        std::function<void(const QString &)> answered) override
    {
        answered({});
    }
    void openUrl(const QUrl &) override {}
    void openPath(const QString &) override {}
    void showInFolder(const QString &) override {}
    void showDialog(QDialog *dialog, std::function<void()>) override { delete dialog; }
};

// kB figures from /proc/self/status: the peak so far and the current resident size.
long statusKb(const char *field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// `detail` is read after the work, to describe its outcome.
void measure(const char *what, const std::function<void()> &work, const std::function<QString()> &detail = {})
{
    const long peakBefore = statusKb("VmHWM");
    QElapsedTimer timer;
    timer.start();
    work();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    std::printf("%-46s %9.1f ms   peak %7.1f -> %7.1f MB   now %7.1f MB  %s\n", what, ms,
                static_cast<double>(peakBefore) / 1024.0, static_cast<double>(statusKb("VmHWM")) / 1024.0,
                static_cast<double>(statusKb("VmRSS")) / 1024.0, detail ? qPrintable(detail()) : "");
}

std::function<QString()> sizeOf(const QString &path)
{
    return [path]() -> QString { return QString::number(QFileInfo(path).size()) + u" bytes"_s; };
}

QString clipboardSize()
{
    return QString::number(QGuiApplication::clipboard()->text().size()) + u" characters on the clipboard"_s;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;

    QTemporaryDir dir;
    BenchModal modal;
    ErrorMessage errors(modal);
    TextListModel results(u"Results"_s, true);
    QTreeView view;
    view.setModel(&results);
    view.setUniformRowHeights(true);
    view.resize(520, 120);
    view.show();
    BusyState busy;
    ResultsController controller({results, view, modal, errors, busy});

    QStringList addresses;
    addresses.reserve(rows);
    for (int i = 0; i < rows; ++i)
        addresses.append(u"someone.%1@mail%2.example.com"_s.arg(i).arg(i % 1000));

    std::printf("%d results, platform %s\n", rows, qPrintable(QGuiApplication::platformName()));
    measure("fill the results list (one block)", [&] { results.append(addresses); });
    QApplication::processEvents();

    const QString lines = dir.filePath(u"lines.txt"_s);
    const QString commas = dir.filePath(u"commas.txt"_s);
    QByteArray bytes;
    const auto byteCount = [&]() -> QString { return QString::number(bytes.size()) + u" bytes"_s; };
    measure(
        "LineListBytes", [&] { bytes = LineListBytes(results.texts()); }, byteCount);
    measure(
        "CommaListBytes", [&] { bytes = CommaListBytes(results.texts()); }, byteCount);
    bytes.clear();
    bytes.squeeze();

    modal.path = lines;
    measure(
        "Save Results As Text File, new file", [&] { controller.saveAsText(); }, sizeOf(lines));
    measure(
        "Save Results As Text File, over the file", [&] { controller.saveAsText(); }, sizeOf(lines));
    modal.path = commas;
    measure(
        "Save Results With Comma, new file", [&] { controller.saveWithCommas(); }, sizeOf(commas));
    measure(
        "Save Results With Comma, over the file", [&] { controller.saveWithCommas(); }, sizeOf(commas));

    QString text;
    measure(
        "ListClipboardText, none ticked (all rows)", [&] { text = ListClipboardText(results); },
        [&]() -> QString { return QString::number(text.size()) + u" characters"_s; });
    text.clear();
    text.squeeze();
    measure(
        "ListToClipboard, none ticked (all rows)", [&] { ListToClipboard(results); }, clipboardSize);
    for (int row = 0; row < rows; row += 2)
        results.setData(results.index(row), Qt::Checked, Qt::CheckStateRole);
    measure(
        "Copy Results To Clipboard, every second row ticked", [&] { controller.copyToClipboard(); },
        clipboardSize);

    measure("remove the first row (double-click)", [&] { results.removeRowAt(0); });
    measure(
        "Clear Results",
        [&] {
            controller.clearResults();
            QApplication::processEvents();
        },
        [&]() -> QString { return QString::number(results.rowCount()) + u" rows left"_s; });
    // The one expected message is the copy's own; an error report would be a second.
    std::printf("messages shown: %d\n", modal.messages);
    return modal.messages == 1 ? 0 : 1;
}
