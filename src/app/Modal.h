#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

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
    // A message with OK and one more button, captioned `action`: true when the user
    // chose that one.
    virtual bool showMessageWithAction(const QString &title, const QString &text, const QString &action) = 0;
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // The typed password, shown as dots unless the user asks to see it; empty when
    // cancelled. nullopt when the user chose to stop the work that asked.
    virtual std::optional<QString> inputPassword(const QString &title, const QString &prompt) = 0;
    // Full paths of the chosen files; empty when cancelled. `filters` as "Name (*.ext)".
    virtual QStringList openFileNames(const QString &title, const QStringList &filters) = 0;
    // The chosen path; empty when cancelled. The caller asks about overwriting itself.
    // `chosenFilter`, when given, receives the filter the user left selected.
    virtual QString saveFileName(const QString &title, const QStringList &filters, QString *chosenFilter) = 0;
    // The chosen folder; empty when cancelled.
    virtual QString existingFolder(const QString &title, const QString &startFolder) = 0;
    // Opens a folder or web address with the desktop's default program.
    virtual void openUrl(const QUrl &url) = 0;
};

} // namespace pelmora
