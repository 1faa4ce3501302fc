#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QDialog;

namespace pelmora {

// Everything that waits for the user or hands work to the desktop goes through here,
// so tests can script the answers. No call waits: a dialog opens and the call returns;
// its answer comes later through the callback given, once, from the event loop (a
// scripted stand-in may answer at once, inside the call). The window stays modal to
// the dialog meanwhile.
class Modal
{
public:
    enum class Icon
    {
        None,
        Warning
    };

    virtual ~Modal() = default;

    // Texts may break lines with CR, LF or CR LF. `closed` comes when the user closes it.
    virtual void showMessage(const QString &title, const QString &text, Icon icon = Icon::None,
                             std::function<void()> closed = {}) = 0;
    // A message with OK and one more button, captioned `action`: true when the user
    // chose that one.
    virtual void showMessageWithAction(const QString &title, const QString &text, const QString &action,
                                       std::function<void(bool chosen)> answered) = 0;
    virtual void askYesNo(const QString &title, const QString &text,
                          std::function<void(bool yes)> answered) = 0;
    // The typed password, shown as dots unless the user asks to see it; empty when
    // cancelled. nullopt when the user chose to stop the work that asked.
    virtual void inputPassword(const QString &title, const QString &prompt,
                               std::function<void(const std::optional<QString> &password)> answered) = 0;
    // Full paths of the chosen files; empty when cancelled. `filters` as "Name (*.ext)".
    virtual void openFileNames(const QString &title, const QStringList &filters,
                               std::function<void(const QStringList &chosen)> answered) = 0;
    // The chosen path, empty when cancelled, and the filter the user left selected. The
    // caller asks about overwriting itself.
    virtual void saveFileName(const QString &title, const QStringList &filters,
                              std::function<void(const QString &path, const QString &filter)> answered) = 0;
    // The chosen folder; empty when cancelled.
    virtual void existingFolder(const QString &title, const QString &startFolder,
                                std::function<void(const QString &folder)> answered) = 0;
    // Opens a folder or web address with the desktop's default program.
    virtual void openUrl(const QUrl &url) = 0;
    // Opens a file with the desktop's default program for its type.
    virtual void openPath(const QString &path) = 0;
    // Shows the folder that holds the file in the desktop's file manager.
    virtual void showInFolder(const QString &path) = 0;
    // Opens a dialog the caller built, and takes it over. The dialog applies its choices
    // itself as they are made; `closed` comes when it is closed.
    virtual void showDialog(QDialog *dialog, std::function<void()> closed = {}) = 0;
};

} // namespace pelmora
