#include "TestData.h"
#include "WindowTest.h"
#include "app/AppTitle.h"
#include "app/RunController.h"
#include "app/TextListModel.h"
#include "run/ErrorTrap.h"
#include "run/PasswordPrompt.h"
#include "run/RunReport.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

// The password frame and the Help button, through the window: what start-up restores,
// what clicks store, and how a run reads the controls.
class TestPasswordOptions : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void restoresTheStoredState_data();
    void restoresTheStoredState();
    void everyClickIsStoredAtOnce();
    void aGrayedBoxClickedBecomesTicked();
    void anUnwritableStoreIsReported();
    void helpShowsItsLines();
    void runAsksAsTheOptionsSay_data();
    void runAsksAsTheOptionsSay();

private:
    void start(const QByteArray &ini, const QString &settingsFile = {});
    void click(const char *name);
    QString stored(const QString &key) const;
    QCheckBox *check1() const { return m_window->findChild<QCheckBox *>(u"Check1"_s); }
    QRadioButton *option(const char *name) const
    {
        return m_window->findChild<QRadioButton *>(QString::fromLatin1(name));
    }
    QString m_settingsFile;
};

void TestPasswordOptions::init()
{
    QVERIFY(setUpParts(false));
    // As at a first start, the folder of the store does not exist yet.
    m_settingsFile = m_engine->temp.filePath(u"config/Qarvelle/Pelmora.ini"_s);
}

void TestPasswordOptions::cleanup()
{
    tearDownParts();
}

// A fresh window over a store that holds `ini` under the program's group.
void TestPasswordOptions::start(const QByteArray &ini, const QString &settingsFile)
{
    if (!settingsFile.isEmpty())
        m_settingsFile = settingsFile;
    if (!ini.isEmpty()) {
        QDir().mkpath(QFileInfo(m_settingsFile).path());
        QFile file(m_settingsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Pelmora]\n" + ini + '\n');
    }
    m_window.reset();
    m_settings = std::make_unique<Settings>(m_settingsFile);
    m_modal = std::make_unique<test::ScriptedModal>();
    QVERIFY(openWindow());
}

void TestPasswordOptions::click(const char *name)
{
    auto *widget = m_window->findChild<QWidget *>(QString::fromLatin1(name));
    QVERIFY(widget);
    // On the indicator: the captions are shorter than the controls.
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
}

// What a fresh reader of the store finds, "-" for a key never written.
QString TestPasswordOptions::stored(const QString &key) const
{
    return Settings(m_settingsFile).read(key, u"-"_s);
}

void TestPasswordOptions::restoresTheStoredState_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("check");
    QTest::addColumn<bool>("option5");
    QTest::addColumn<bool>("option6");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("storedAfter"); // Check1|Option5|Option6
    QTest::addColumn<QString>("error");

    // Option5's default "1" counts as a click that selects it, so both keys get written.
    QTest::newRow("empty store") << QByteArray() << 0 << true << false << true << u"-|True|False"_s
                                 << QString();
    QTest::newRow("ticked") << QByteArray("Check1=1") << 1 << true << false << true << u"1|True|False"_s
                            << QString();
    // Unticked is the box's first state, so nothing disables the options.
    QTest::newRow("unticked") << QByteArray("Check1=0") << 0 << true << false << true << u"0|True|False"_s
                              << QString();
    QTest::newRow("grayed") << QByteArray("Check1=2") << 2 << true << false << false << u"2|True|False"_s
                            << QString();
    QTest::newRow("check not a number") << QByteArray("Check1=abc") << 0 << true << false << true
                                        << u"abc|True|False"_s << u"Type mismatch"_s;
    QTest::newRow("check out of range") << QByteArray("Check1=3") << 0 << true << false << true
                                        << u"3|True|False"_s << u"Invalid property value"_s;
    QTest::newRow("neither option") << QByteArray("Option5=False\nOption6=False") << 0 << false << false
                                    << true << u"-|False|False"_s << QString();
    QTest::newRow("same password") << QByteArray("Check1=1\nOption5=false\nOption6=TRUE") << 1 << false
                                   << true << true << u"1|False|True"_s << QString();
    QTest::newRow("numbers") << QByteArray("Option5=0\nOption6=-1") << 0 << false << true << true
                             << u"-|False|True"_s << QString();
    // Restoring Option5 is a click that stores Option6 as False before Option6 is read.
    QTest::newRow("both selected") << QByteArray("Option5=True\nOption6=True") << 0 << true << false << true
                                   << u"-|True|False"_s << QString();
    QTest::newRow("option not a Boolean")
        << QByteArray("Option5=abc") << 0 << false << false << true << u"-|abc|-"_s << u"Type mismatch"_s;
}

void TestPasswordOptions::restoresTheStoredState()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, check);
    QFETCH(bool, option5);
    QFETCH(bool, option6);
    QFETCH(bool, enabled);
    QFETCH(QString, storedAfter);
    QFETCH(QString, error);
    start(ini);

    const QList<Qt::CheckState> states{Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked};
    QCOMPARE(check1()->checkState(), states.at(check));
    QCOMPARE(option("Option5")->isChecked(), option5);
    QCOMPARE(option("Option6")->isChecked(), option6);
    QCOMPARE(option("Option5")->isEnabled(), enabled);
    QCOMPARE(option("Option6")->isEnabled(), enabled);
    const QString after = stored(u"Check1"_s) + u'|' + stored(u"Option5"_s) + u'|' + stored(u"Option6"_s);
    QCOMPARE(after, storedAfter);

    if (error.isEmpty()) {
        QVERIFY(m_modal->shown.isEmpty());
        return;
    }
    // Reported by start-up's own trap; start-up went on to its later steps.
    QCOMPARE(m_modal->shown.size(), 1);
    const test::ScriptedModal::Shown &report = m_modal->shown.first();
    QCOMPARE(report.title, u"Application Error"_s);
    QCOMPARE(report.icon, Modal::Icon::Warning);
    QVERIFY2(report.text.startsWith(error + u"\r\nin Pelmora2021/08/31.Form1.Form_Load at line "_s),
             qPrintable(report.text));
    QVERIFY(QFileInfo::exists(m_engine->workspace->converterPath()));
}

void TestPasswordOptions::everyClickIsStoredAtOnce()
{
    start({});
    click("Check1");
    QCOMPARE(check1()->checkState(), Qt::Checked);
    QCOMPARE(stored(u"Check1"_s), u"1"_s);
    QVERIFY(option("Option5")->isEnabled() && option("Option6")->isEnabled());
    QFile file(m_settingsFile); // on disk at once, as text, in the program's group
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.startsWith("[Pelmora]\n") && text.contains("\nCheck1=1\n"), text.constData());

    click("Option6");
    QVERIFY(option("Option6")->isChecked() && !option("Option5")->isChecked());
    QCOMPARE(stored(u"Option5"_s), u"False"_s);
    QCOMPARE(stored(u"Option6"_s), u"True"_s);

    click("Check1");
    QCOMPARE(stored(u"Check1"_s), u"0"_s);
    QVERIFY(!option("Option5")->isEnabled() && !option("Option6")->isEnabled());
    QVERIFY(option("Option6")->isChecked()); // disabling keeps the choice
    click("Option5");                        // disabled: no effect
    QCOMPARE(stored(u"Option5"_s), u"False"_s);

    // The next start shows what was last stored.
    start({});
    QCOMPARE(check1()->checkState(), Qt::Unchecked);
    QVERIFY(option("Option6")->isChecked() && !option("Option5")->isChecked());
    click("Check1");
    click("Option5");
    QCOMPARE(stored(u"Check1"_s), u"1"_s);
    QCOMPARE(stored(u"Option5"_s), u"True"_s);
    QCOMPARE(stored(u"Option6"_s), u"False"_s);
    QVERIFY(m_modal->shown.isEmpty());
}

void TestPasswordOptions::aGrayedBoxClickedBecomesTicked()
{
    start("Check1=2");
    click("Check1");
    QCOMPARE(check1()->checkState(), Qt::Checked);
    QCOMPARE(stored(u"Check1"_s), u"1"_s);
    QVERIFY(option("Option5")->isEnabled());
    click("Check1"); // and from then on it has two states only
    QCOMPARE(check1()->checkState(), Qt::Unchecked);
    QCOMPARE(stored(u"Check1"_s), u"0"_s);
    QVERIFY(!option("Option5")->isEnabled());
}

void TestPasswordOptions::anUnwritableStoreIsReported()
{
    // A folder that cannot be made, whoever runs the test: a file stands in its place.
    const QString blocker = m_engine->temp.filePath(u"config"_s);
    QFile(blocker).open(QIODevice::WriteOnly);
    start({}, blocker + u"/settings.ini"_s);
    // Start-up fails to record the sample list: the one report of this start, in plain
    // words, naming the file and what will not be remembered.
    QCOMPARE(m_modal->shown.size(), 1);
    const test::ScriptedModal::Shown report = m_modal->shown.first();
    QCOMPARE(report.title, AppTitle());
    QCOMPARE(report.icon, Modal::Icon::Warning);
    QVERIFY2(report.text.contains(u"cannot be saved in "_s + blocker + u"/settings.ini"_s),
             qPrintable(report.text));
    QVERIFY(report.text.contains(
        u"the password options, the folder last chosen, the list of sample files and the preferences "
        u"will not be remembered"_s));
    // Every later click that cannot be stored says nothing more.
    for (const char *name : {"Check1", "Option6", "Option5"})
        click(name);
    QCOMPARE(m_modal->shown.size(), 1);
    // The choice still works for this session.
    QCOMPARE(check1()->checkState(), Qt::Checked);
    QVERIFY(option("Option5")->isChecked() && option("Option5")->isEnabled());
}

void TestPasswordOptions::helpShowsItsLines()
{
    start({});
    click("PushButton10");
    QCOMPARE(m_modal->shown.size(), 1);
    const test::ScriptedModal::Shown &help = m_modal->shown.first();
    QCOMPARE(help.kind, u"message"_s);
    QCOMPARE(help.title, u"Help"_s);
    QCOMPARE(help.icon, Modal::Icon::None);
    QVERIFY(!help.text.contains(u'\n'));
    QCOMPARE(
        help.text.split(u'\r'),
        (QStringList{u"This program will:"_s, QString(), u"extract pure text from a PDF"_s, QString(),
                     u"This program will not:"_s, QString(),
                     u"extract an image representing text from a PDF (text within an image within a PDF)"_s,
                     QString(),
                     u"Files read before are not read again: their results are kept in ~/.cache/pelmora "
                     u"(ResultsCache=False in ~/.config/Qarvelle/Pelmora.ini turns this off)"_s}));
}

void TestPasswordOptions::runAsksAsTheOptionsSay_data()
{
    // Three files: enc1 and enc2 open only with "secret", open.pdf needs no password.
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("prompts"); // "*" for the one prompt for all files
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QStringList>("unreadable"); // name:reason, P protected, I invalid password

    const QString vault = u"vault@example.com"_s;
    const QString readonly = u"readonly@example.com"_s;
    QTest::newRow("unticked") << QByteArray() << QStringList() << QStringList() << QStringList()
                              << QStringList{readonly} << QStringList{u"enc1:P"_s, u"enc2:P"_s};
    QTest::newRow("grayed") << QByteArray("Check1=2") << QStringList() << QStringList() << QStringList()
                            << QStringList{readonly} << QStringList{u"enc1:P"_s, u"enc2:P"_s};
    QTest::newRow("one for all") << QByteArray() << QStringList{u"Check1"_s, u"Option6"_s}
                                 << QStringList{u"secret"_s} << QStringList{u"*"_s}
                                 << QStringList{vault, readonly} << QStringList();
    QTest::newRow("one for all, cancelled")
        << QByteArray() << QStringList{u"Check1"_s, u"Option6"_s} << QStringList() << QStringList{u"*"_s}
        << QStringList{readonly} << QStringList{u"enc1:P"_s, u"enc2:P"_s};
    QTest::newRow("one for all, restored")
        << QByteArray("Check1=1\nOption5=False\nOption6=True") << QStringList() << QStringList{u"secret"_s}
        << QStringList{u"*"_s} << QStringList{vault, readonly} << QStringList();
    // Only the files that need a password are asked for: the restricted one opens without.
    QTest::newRow("per file") << QByteArray() << QStringList{u"Check1"_s}
                              << QStringList{u"secret"_s, u"wrong"_s} << QStringList{u"enc1"_s, u"enc2"_s}
                              << QStringList{vault, readonly} << QStringList{u"enc2:I"_s};
    QTest::newRow("per file, all cancelled")
        << QByteArray() << QStringList{u"Check1"_s} << QStringList() << QStringList{u"enc1"_s, u"enc2"_s}
        << QStringList{readonly} << QStringList{u"enc1:P"_s, u"enc2:P"_s};
    QTest::newRow("neither option asks per file")
        << QByteArray("Option5=False\nOption6=False") << QStringList{u"Check1"_s}
        << QStringList{QString(), u"secret"_s} << QStringList{u"enc1"_s, u"enc2"_s}
        << QStringList{readonly, vault} << QStringList{u"enc1:P"_s};
}

void TestPasswordOptions::runAsksAsTheOptionsSay()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, prompts);
    QFETCH(QStringList, results);
    QFETCH(QStringList, unreadable);

    auto copy = [&](const QString &from, const QString &name) {
        QString to = m_engine->temp.filePath(name + u".pdf"_s);
        QFile::copy(test::dataFile(from), to);
        return to;
    };
    const QStringList pdfs{copy(u"encrypted.pdf"_s, u"enc1"_s), copy(u"restricted.pdf"_s, u"open"_s),
                           copy(u"encrypted.pdf"_s, u"enc2"_s)};
    QVERIFY(QFileInfo::exists(pdfs.last()));
    start(ini);
    for (const QString &name : clicks)
        click(name.toLatin1().constData());
    for (const QString &answer : answers)
        m_modal->textAnswers.enqueue(answer);
    m_window->appendPaths(pdfs);

    QTest::mouseClick(m_window->findChild<QPushButton *>(u"PushButton2"_s), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m_modal->shownOf(u"message"_s).size(), 1, 30000);

    QStringList expectedPrompts;
    for (const QString &prompt : prompts)
        expectedPrompts << (prompt == u"*"_s
                                ? PasswordPromptText(PasswordPrompt::ForAllFiles, {})
                                : PasswordPromptText(PasswordPrompt::ForFile,
                                                     m_engine->temp.filePath(prompt + u".pdf"_s)));
    QStringList asked;
    for (const test::ScriptedModal::Shown &input : m_modal->shownOf(u"input"_s)) {
        QCOMPARE(input.title, u"Input Password"_s);
        asked << input.text;
    }
    QCOMPARE(asked, expectedPrompts);
    QCOMPARE(m_window->resultsList().texts(), results);

    QList<UnreadableFile> files;
    for (const QString &entry : unreadable)
        files.append(
            {m_engine->temp.filePath(entry.section(u':', 0, 0) + u".pdf"_s),
             entry.endsWith(u":I"_s) ? UnreadableReason::InvalidPassword : UnreadableReason::Protected});
    QCOMPARE(m_modal->shownOf(u"message"_s).first().text, SummaryMessage(files));
}

QTEST_MAIN(TestPasswordOptions)
#include "tst_passwordoptions.moc"
