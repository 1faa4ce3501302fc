#pragma once

#include "app/Modal.h"

class QWidget;

namespace pelmora {

// The real dialogs, owned by the main window.
class WidgetModal : public Modal
{
public:
    explicit WidgetModal(QWidget *owner = nullptr);
    // Dialogs are centred on, and modal to, this window.
    void setOwner(QWidget *owner) { m_owner = owner; }

    void showMessage(const QString &title, const QString &text, Icon icon) override;
    bool showMessageWithAction(const QString &title, const QString &text, const QString &action) override;
    bool askYesNo(const QString &title, const QString &text) override;
    std::optional<QString> inputPassword(const QString &title, const QString &prompt) override;
    QStringList openFileNames(const QString &title, const QStringList &filters) override;
    QString saveFileName(const QString &title, const QStringList &filters, QString *chosenFilter) override;
    QString existingFolder(const QString &title, const QString &startFolder) override;
    void openUrl(const QUrl &url) override;

    // Lone carriage returns break lines on the desktop the program came from; Qt needs line feeds.
    static QString forDisplay(QString text);

private:
    QWidget *m_owner;
};

} // namespace pelmora
