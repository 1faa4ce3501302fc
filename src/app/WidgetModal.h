#pragma once

#include "app/Modal.h"

class QDialog;
class QWidget;

namespace pelmora {

// The real dialogs, window-modal to the main window, opened with QDialog::open().
class WidgetModal : public Modal
{
public:
    explicit WidgetModal(QWidget *owner = nullptr);
    // Dialogs are centred on, and modal to, this window.
    void setOwner(QWidget *owner) { m_owner = owner; }

    void showMessage(const QString &title, const QString &text, Icon icon,
                     std::function<void()> closed) override;
    void showMessageWithAction(const QString &title, const QString &text, const QString &action,
                               std::function<void(bool chosen)> answered) override;
    void askYesNo(const QString &title, const QString &text, std::function<void(bool yes)> answered) override;
    void inputPassword(const QString &title, const QString &prompt,
                       std::function<void(const std::optional<QString> &password)> answered) override;
    void openFileNames(const QString &title, const QStringList &filters,
                       std::function<void(const QStringList &chosen)> answered) override;
    void saveFileName(const QString &title, const QStringList &filters,
                      std::function<void(const QString &path, const QString &filter)> answered) override;
    void existingFolder(const QString &title, const QString &startFolder,
                        std::function<void(const QString &folder)> answered) override;
    void openUrl(const QUrl &url) override;
    void openPath(const QString &path) override;
    void showInFolder(const QString &path) override;
    void showDialog(QDialog *dialog, std::function<void()> closed) override;

    // Lone carriage returns break lines on the desktop the program came from; Qt needs line feeds.
    static QString forDisplay(QString text);

private:
    // Opens the dialog, calls `done` with its result when it is closed, then lets it go.
    void open(QDialog *dialog, std::function<void(int result)> done);

    QWidget *m_owner;
};

} // namespace pelmora
