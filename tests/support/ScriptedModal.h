#pragma once

#include "app/Modal.h"

#include <QList>
#include <QQueue>

#include <functional>

namespace pelmora::test {

// Answers every dialog from a script, at once (inside the call), and remembers what was
// asked.
class ScriptedModal : public Modal
{
public:
    struct Shown
    {
        // "message", "yesno", "input", "open", "save", "folder", "url", "path", "showInFolder",
        // "dialog" (with the dialog's title)
        QString kind;
        QString title;
        QString text;
        Icon icon = Icon::None;
        QString action; // a message's extra button
    };

    // Answers are taken in order; a dialog with no scripted answer is cancelled
    // (No, empty text, no files, OK without the action).
    QQueue<QString> textAnswers;     // input (password), save, folder
    QQueue<QStringList> fileAnswers; // open
    QQueue<bool> yesNoAnswers;       // yes/no
    QQueue<bool> actionAnswers;      // a message's extra button chosen
    QQueue<QString> filterAnswers;   // the filter left selected in a save dialog; none: the first
    // A password answer that presses "Stop Extracting".
    static inline const QString stopAnswer = QStringLiteral("<Stop Extracting>");
    // Runs while a dialog is "open", as a user acting meanwhile would.
    std::function<void(const Shown &)> whileShown;
    // Acts on a dialog shown with showDialog() as the user would, before it is closed.
    std::function<void(QDialog &)> dialogScript;
    // The next question (yes/no or password) stays open until answerHeld(), as a user
    // who takes a while would leave it.
    bool holdNextAnswer = false;
    void answerHeld();

    QList<Shown> shown;
    QList<QUrl> openedUrls;
    QStringList openedPaths;
    QStringList shownInFolder;

    QList<Shown> shownOf(const QString &kind) const;

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

private:
    void answer(std::function<void()> give);
    void record(const QString &kind, const QString &title, const QString &text, Icon icon = Icon::None);

    std::function<void()> m_held;
};

} // namespace pelmora::test
