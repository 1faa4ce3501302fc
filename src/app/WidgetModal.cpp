#include "app/WidgetModal.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

WidgetModal::WidgetModal(QWidget *owner) : m_owner(owner)
{
}

QString WidgetModal::forDisplay(QString text)
{
    return text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
}

void WidgetModal::showMessage(const QString &title, const QString &text, Icon icon)
{
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    forDisplay(text), QMessageBox::Ok, m_owner);
    box.exec();
}

bool WidgetModal::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, forDisplay(text), QMessageBox::Yes | QMessageBox::No,
                    m_owner);
    return box.exec() == QMessageBox::Yes;
}

QString WidgetModal::inputText(const QString &title, const QString &prompt)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_owner, title, forDisplay(prompt), QLineEdit::Normal, QString(), &ok);
    return ok ? text : QString();
}

QStringList WidgetModal::openFileNames(const QString &title, const QStringList &filters)
{
    return QFileDialog::getOpenFileNames(m_owner, title, QString(), filters.join(u";;"_s));
}

QString WidgetModal::saveFileName(const QString &title, const QStringList &filters)
{
    return QFileDialog::getSaveFileName(m_owner, title, QString(), filters.join(u";;"_s), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString WidgetModal::existingFolder(const QString &title, const QString &startFolder)
{
    return QFileDialog::getExistingDirectory(m_owner, title, startFolder);
}

void WidgetModal::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

} // namespace pelmora
