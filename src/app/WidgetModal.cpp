#include "app/WidgetModal.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

QMessageBox *messageBox(QWidget *owner, const QString &title, const QString &text,
                        QMessageBox::StandardButtons buttons, QMessageBox::Icon icon = QMessageBox::NoIcon)
{
    return new QMessageBox(icon, title, WidgetModal::forDisplay(text), buttons, owner);
}

} // namespace

WidgetModal::WidgetModal(QWidget *owner) : m_owner(owner)
{
}

QString WidgetModal::forDisplay(QString text)
{
    return text.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
}

void WidgetModal::open(QDialog *dialog, std::function<void(int result)> done)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The normal pointer over a question asked in the middle of long work; the
    // hourglass returns once it is answered.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    QObject::connect(dialog, &QDialog::finished, dialog, [busy, done = std::move(done)](int result) {
        if (busy)
            QGuiApplication::restoreOverrideCursor();
        if (done)
            done(result);
    });
    dialog->open();
}

void WidgetModal::showMessage(const QString &title, const QString &text, Icon icon,
                              std::function<void()> closed)
{
    QMessageBox *box = messageBox(m_owner, title, text, QMessageBox::Ok,
                                  icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    open(box, [closed = std::move(closed)](int) {
        if (closed)
            closed();
    });
}

void WidgetModal::showMessageWithAction(const QString &title, const QString &text, const QString &action,
                                        std::function<void(bool chosen)> answered)
{
    QMessageBox *box = messageBox(m_owner, title, text, QMessageBox::Ok);
    const QAbstractButton *chosen = box->addButton(action, QMessageBox::AcceptRole);
    box->setDefaultButton(QMessageBox::Ok);
    open(box,
         [box, chosen, answered = std::move(answered)](int) { answered(box->clickedButton() == chosen); });
}

void WidgetModal::askYesNo(const QString &title, const QString &text, std::function<void(bool yes)> answered)
{
    QMessageBox *box = messageBox(m_owner, title, text, QMessageBox::Yes | QMessageBox::No);
    open(box, [answered = std::move(answered)](int result) { answered(result == QMessageBox::Yes); });
}

void WidgetModal::inputPassword(const QString &title, const QString &prompt,
                                std::function<void(const std::optional<QString> &password)> answered)
{
    auto *dialog = new QDialog(m_owner);
    dialog->setWindowTitle(title);
    auto *layout = new QVBoxLayout(dialog);
    auto *question = new QLabel(forDisplay(prompt), dialog);
    question->setWordWrap(true);
    auto *field = new QLineEdit(dialog);
    field->setObjectName(u"password"_s);
    field->setEchoMode(QLineEdit::Password);
    auto *show = new QCheckBox(u"Show password"_s, dialog);
    show->setObjectName(u"showPassword"_s);
    QObject::connect(show, &QCheckBox::toggled, field, [field](bool shown) {
        field->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QPushButton *stop = buttons->addButton(u"Stop Extracting"_s, QDialogButtonBox::DestructiveRole);
    stop->setObjectName(u"stopExtracting"_s);
    // Its own result code, so the answer needs nothing but the dialog's end.
    constexpr int kStopped = QDialog::Accepted + 1;
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    QObject::connect(stop, &QPushButton::clicked, dialog, [dialog] { dialog->done(kStopped); });
    layout->addWidget(question);
    layout->addWidget(field);
    layout->addWidget(show);
    layout->addWidget(buttons);
    open(dialog, [field, answered = std::move(answered)](int result) {
        if (result == kStopped)
            answered(std::nullopt);
        else
            answered(result == QDialog::Accepted ? field->text() : QString());
    });
}

void WidgetModal::openFileNames(const QString &title, const QStringList &filters,
                                std::function<void(const QStringList &chosen)> answered)
{
    auto *dialog = new QFileDialog(m_owner, title, QString(), filters.join(u";;"_s));
    dialog->setFileMode(QFileDialog::ExistingFiles);
    open(dialog, [dialog, answered = std::move(answered)](int result) {
        answered(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
    });
}

void WidgetModal::saveFileName(const QString &title, const QStringList &filters,
                               std::function<void(const QString &path, const QString &filter)> answered)
{
    auto *dialog = new QFileDialog(m_owner, title, QString(), filters.join(u";;"_s));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    open(dialog, [dialog, answered = std::move(answered)](int result) {
        const bool chosen = result == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
        answered(chosen ? dialog->selectedFiles().first() : QString(), dialog->selectedNameFilter());
    });
}

void WidgetModal::existingFolder(const QString &title, const QString &startFolder,
                                 std::function<void(const QString &folder)> answered)
{
    auto *dialog = new QFileDialog(m_owner, title, startFolder);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    open(dialog, [dialog, answered = std::move(answered)](int result) {
        const bool chosen = result == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
        answered(chosen ? dialog->selectedFiles().first() : QString());
    });
}

void WidgetModal::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

void WidgetModal::openPath(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void WidgetModal::showInFolder(const QString &path)
{
    // No desktop-neutral way selects the file in its folder: the folder is opened.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void WidgetModal::showDialog(QDialog *dialog, std::function<void()> closed)
{
    dialog->setParent(m_owner, dialog->windowFlags());
    open(dialog, [closed = std::move(closed)](int) {
        if (closed)
            closed();
    });
}

} // namespace pelmora
