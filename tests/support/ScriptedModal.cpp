#include "ScriptedModal.h"

#include <QDialog>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

QList<ScriptedModal::Shown> ScriptedModal::shownOf(const QString &kind) const
{
    QList<Shown> result;
    for (const Shown &s : shown) {
        if (s.kind == kind)
            result.append(s);
    }
    return result;
}

void ScriptedModal::record(const QString &kind, const QString &title, const QString &text, Icon icon)
{
    shown.append({kind, title, text, icon, {}});
    if (whileShown)
        whileShown(shown.last());
}

void ScriptedModal::showMessage(const QString &title, const QString &text, Icon icon,
                                std::function<void()> closed)
{
    record(u"message"_s, title, text, icon);
    if (closed)
        closed();
}

void ScriptedModal::showMessageWithAction(const QString &title, const QString &text, const QString &action,
                                          std::function<void(bool chosen)> answered)
{
    shown.append({u"message"_s, title, text, Icon::None, action});
    if (whileShown)
        whileShown(shown.last());
    answered(!actionAnswers.isEmpty() && actionAnswers.dequeue());
}

void ScriptedModal::askYesNo(const QString &title, const QString &text,
                             std::function<void(bool yes)> answered)
{
    record(u"yesno"_s, title, text);
    answer([this, answered] { answered(!yesNoAnswers.isEmpty() && yesNoAnswers.dequeue()); });
}

void ScriptedModal::answer(std::function<void()> give)
{
    if (std::exchange(holdNextAnswer, false))
        m_held = std::move(give);
    else
        give();
}

void ScriptedModal::answerHeld()
{
    if (const std::function<void()> give = std::exchange(m_held, {}))
        give();
}

void ScriptedModal::inputPassword(const QString &title, const QString &prompt,
                                  std::function<void(const std::optional<QString> &password)> answered)
{
    record(u"input"_s, title, prompt);
    answer([this, answered] {
        const QString typed = textAnswers.isEmpty() ? QString() : textAnswers.dequeue();
        answered(typed == stopAnswer ? std::nullopt : std::optional<QString>(typed));
    });
}

void ScriptedModal::openFileNames(const QString &title, const QStringList &filters,
                                  std::function<void(const QStringList &chosen)> answered)
{
    record(u"open"_s, title, filters.join(u";;"_s));
    answered(fileAnswers.isEmpty() ? QStringList() : fileAnswers.dequeue());
}

void ScriptedModal::saveFileName(const QString &title, const QStringList &filters,
                                 std::function<void(const QString &path, const QString &filter)> answered)
{
    record(u"save"_s, title, filters.join(u";;"_s));
    const QString filter = filterAnswers.isEmpty() ? filters.value(0) : filterAnswers.dequeue();
    answered(textAnswers.isEmpty() ? QString() : textAnswers.dequeue(), filter);
}

void ScriptedModal::existingFolder(const QString &title, const QString &startFolder,
                                   std::function<void(const QString &folder)> answered)
{
    record(u"folder"_s, title, startFolder);
    answered(textAnswers.isEmpty() ? QString() : textAnswers.dequeue());
}

void ScriptedModal::openUrl(const QUrl &url)
{
    record(u"url"_s, QString(), url.toString());
    openedUrls.append(url);
}

void ScriptedModal::openPath(const QString &path)
{
    record(u"path"_s, QString(), path);
    openedPaths.append(path);
}

void ScriptedModal::showInFolder(const QString &path)
{
    record(u"showInFolder"_s, QString(), path);
    shownInFolder.append(path);
}

void ScriptedModal::showDialog(QDialog *dialog, std::function<void()> closed)
{
    const std::unique_ptr<QDialog> owned(dialog);
    record(u"dialog"_s, dialog->windowTitle(), QString());
    if (dialogScript)
        dialogScript(*dialog);
    if (closed)
        closed();
}

} // namespace pelmora::test
