#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace pelmora {

// Everything that waits for the user or hands work to the desktop goes through here,
// so tests can script the answers.
class Modal
{
public:
    enum class Icon
    {
        None,
        Warning
    };

    virtual ~Modal() = default;

    // Texts may break lines with CR, LF or CR LF.
    virtual void showMessage(const QString &title, const QString &text, Icon icon = Icon::None) = 0;
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // The typed text; empty when cancelled.
    virtual QString inputText(const QString &title, const QString &prompt) = 0;
    // Full paths of the chosen files; empty when cancelled. `filters` as "Name (*.ext)".
    virtual QStringList openFileNames(const QString &title, const QStringList &filters) = 0;
    // The chosen path; empty when cancelled. The caller asks about overwriting itself.
    virtual QString saveFileName(const QString &title, const QStringList &filters) = 0;
    // The chosen folder; empty when cancelled.
    virtual QString existingFolder(const QString &title, const QString &startFolder) = 0;
    // Opens a folder or web address with the desktop's default program.
    virtual void openUrl(const QUrl &url) = 0;
};

} // namespace pelmora
