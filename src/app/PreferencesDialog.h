#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QPlainTextEdit;

namespace pelmora {

class Settings;

// The choices the command takes as options, for the window's runs: each is stored the
// moment it is made, as the desktop's preference dialogs do, and the next run or
// preview reads it. Controls are named after what they set, for tests.
class PreferencesDialog : public QDialog
{
    Q_OBJECT
public:
    struct Parts
    {
        Settings &settings;
        // The recognition languages installed, as the converter lists them.
        QStringList installedLanguages;
        // Empties the results cache: empty text when done, else why not.
        std::function<QString()> emptyCache;
    };

    explicit PreferencesDialog(const Parts &parts, QWidget *parent = nullptr);

    static QString title();
    // The patterns of `text` (one a line) that are no domain pattern.
    static QStringList badPatterns(const QString &text);

private:
    QWidget *addressesPage();
    QWidget *readingPage();
    QPlainTextEdit *patternField(const char *name, const QString &key);
    void showPatternProblems();
    void storeLanguages();

    Parts m_parts;
    QPlainTextEdit *m_exclude = nullptr;
    QPlainTextEdit *m_only = nullptr;
    QLabel *m_patternProblem = nullptr;
    QListWidget *m_languages = nullptr;
    QLabel *m_cacheStatus = nullptr;
};

} // namespace pelmora
