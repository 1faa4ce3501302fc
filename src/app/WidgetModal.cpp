#include "app/WidgetModal.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

bool WidgetModal::showMessageWithAction(const QString &title, const QString &text, const QString &action)
{
    QMessageBox box(QMessageBox::NoIcon, title, forDisplay(text), QMessageBox::Ok, m_owner);
    const QAbstractButton *chosen = box.addButton(action, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == chosen;
}

bool WidgetModal::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, forDisplay(text), QMessageBox::Yes | QMessageBox::No,
                    m_owner);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> WidgetModal::inputPassword(const QString &title, const QString &prompt)
{
    QDialog dialog(m_owner);
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    auto *question = new QLabel(forDisplay(prompt), &dialog);
    question->setWordWrap(true);
    auto *field = new QLineEdit(&dialog);
    field->setObjectName(u"password"_s);
    field->setEchoMode(QLineEdit::Password);
    auto *show = new QCheckBox(u"Show password"_s, &dialog);
    show->setObjectName(u"showPassword"_s);
    QObject::connect(show, &QCheckBox::toggled, field, [field](bool shown) {
        field->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton *stop = buttons->addButton(u"Stop Extracting"_s, QDialogButtonBox::DestructiveRole);
    stop->setObjectName(u"stopExtracting"_s);
    bool stopped = false;
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(stop, &QPushButton::clicked, &dialog, [&] {
        stopped = true;
        dialog.reject();
    });
    layout->addWidget(question);
    layout->addWidget(field);
    layout->addWidget(show);
    layout->addWidget(buttons);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (stopped)
        return std::nullopt;
    return accepted ? field->text() : QString();
}

QStringList WidgetModal::openFileNames(const QString &title, const QStringList &filters)
{
    return QFileDialog::getOpenFileNames(m_owner, title, QString(), filters.join(u";;"_s));
}

QString WidgetModal::saveFileName(const QString &title, const QStringList &filters, QString *chosenFilter)
{
    return QFileDialog::getSaveFileName(m_owner, title, QString(), filters.join(u";;"_s), chosenFilter,
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
