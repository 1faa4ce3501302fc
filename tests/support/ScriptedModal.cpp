#include "ScriptedModal.h"

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

void ScriptedModal::showMessage(const QString &title, const QString &text, Icon icon)
{
    record(u"message"_s, title, text, icon);
}

bool ScriptedModal::showMessageWithAction(const QString &title, const QString &text, const QString &action)
{
    shown.append({u"message"_s, title, text, Icon::None, action});
    if (whileShown)
        whileShown(shown.last());
    return !actionAnswers.isEmpty() && actionAnswers.dequeue();
}

bool ScriptedModal::askYesNo(const QString &title, const QString &text)
{
    record(u"yesno"_s, title, text);
    return !yesNoAnswers.isEmpty() && yesNoAnswers.dequeue();
}

std::optional<QString> ScriptedModal::inputPassword(const QString &title, const QString &prompt)
{
    record(u"input"_s, title, prompt);
    const QString answer = textAnswers.isEmpty() ? QString() : textAnswers.dequeue();
    if (answer == stopAnswer)
        return std::nullopt;
    return answer;
}

QStringList ScriptedModal::openFileNames(const QString &title, const QStringList &filters)
{
    record(u"open"_s, title, filters.join(u";;"_s));
    return fileAnswers.isEmpty() ? QStringList() : fileAnswers.dequeue();
}

QString ScriptedModal::saveFileName(const QString &title, const QStringList &filters, QString *chosenFilter)
{
    record(u"save"_s, title, filters.join(u";;"_s));
    if (chosenFilter)
        *chosenFilter = filterAnswers.isEmpty() ? filters.value(0) : filterAnswers.dequeue();
    return textAnswers.isEmpty() ? QString() : textAnswers.dequeue();
}

QString ScriptedModal::existingFolder(const QString &title, const QString &startFolder)
{
    record(u"folder"_s, title, startFolder);
    return textAnswers.isEmpty() ? QString() : textAnswers.dequeue();
}

void ScriptedModal::openUrl(const QUrl &url)
{
    record(u"url"_s, QString(), url.toString());
    openedUrls.append(url);
}

} // namespace pelmora::test
