#include "TestData.h"
#include "WindowTest.h"
#include "app/ListMenus.h"
#include "app/OcrLanguageNames.h"
#include "app/PreferencesDialog.h"
#include "app/TextListModel.h"
#include "cache/ResultsCache.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// Sets the dialog's control `name` as a user would: ticks a box, types patterns, picks an engine.
void setControl(QDialog &dialog, const QString &name, const QVariant &value)
{
    QWidget *control = dialog.findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    if (auto *box = qobject_cast<QCheckBox *>(control))
        box->setChecked(value.toBool());
    else if (auto *text = qobject_cast<QPlainTextEdit *>(control))
        text->setPlainText(value.toString());
    else if (auto *choice = qobject_cast<QComboBox *>(control))
        choice->setCurrentIndex(choice->findData(value));
}

QVariant controlValue(QDialog &dialog, const QString &name)
{
    QWidget *control = dialog.findChild<QWidget *>(name);
    if (auto *box = qobject_cast<QCheckBox *>(control))
        return box->isChecked();
    if (auto *text = qobject_cast<QPlainTextEdit *>(control))
        return text->toPlainText();
    if (auto *choice = qobject_cast<QComboBox *>(control))
        return choice->currentData();
    return {};
}

} // namespace

class TestPreferences : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void eachChoiceChangesTheNextRun_data();
    void eachChoiceChangesTheNextRun();
    void languagesAreTheInstalledOnes();
    void languageNames_data();
    void languageNames();
    void handEditedListsAreRead_data();
    void handEditedListsAreRead();
    void cacheCanBeTurnedOffAndEmptied();
    void fileMenuEntries_data();
    void fileMenuEntries();
    void resultsMenuEntries_data();
    void resultsMenuEntries();
    void menusOpenFromTheKeyboard();

private:
    // Ctrl+, with `script` acting on the dialog.
    void openPreferences(std::function<void(QDialog &)> script);
    QStringList runOnce();
    // Opens the menu of `view` on `row` and chooses the action `name`.
    void choose(QTreeView &view, QMenu &menu, int row, const QString &name);
    QString m_pdf;
};

void TestPreferences::init()
{
    QVERIFY(setUpParts());
    QVERIFY(openWindow({}, [] { return 1; }));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_pdf = m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s,
                               "ver@array.sty a@x.com B@y.org\njane [at] example [dot] org c@x.com\f");
    // What the other PDF library makes of the same file.
    QVERIFY(test::writeFile(m_pdf + u'.' + PdfEngineName(kAlternativeEngine), "TEXT\nm@other.org\f"));
    m_window->appendPaths({m_pdf});
}

void TestPreferences::cleanup()
{
    tearDownParts();
}

void TestPreferences::openPreferences(std::function<void(QDialog &)> script)
{
    const qsizetype before = m_modal->shownOf(u"dialog"_s).size();
    m_modal->dialogScript = std::move(script);
    QTest::keyClick(m_window.get(), Qt::Key_Comma, Qt::ControlModifier);
    QCOMPARE(m_modal->shownOf(u"dialog"_s).size(), before + 1);
    QCOMPARE(m_modal->shownOf(u"dialog"_s).last().title, PreferencesDialog::title());
    m_modal->dialogScript = {};
}

QStringList TestPreferences::runOnce()
{
    const qsizetype messages = m_modal->shownOf(u"message"_s).size();
    press("PushButton9");
    press("PushButton2");
    if (!QTest::qWaitFor([&] { return m_modal->shownOf(u"message"_s).size() > messages; }))
        return {u"no closing message"_s};
    return m_window->resultsList().texts();
}

void TestPreferences::eachChoiceChangesTheNextRun_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("linksAsked");
    const QStringList usual{u"a@x.com"_s, u"B@y.org"_s, u"c@x.com"_s};
    // The default, unchanged: nothing is written.
    QTest::newRow("links kept") << u"links"_s << QVariant(true) << u"Links"_s << u"(absent)"_s << usual
                                << u"links=1"_s;
    QTest::newRow("links left out") << u"links"_s << QVariant(false) << u"Links"_s << u"False"_s << usual
                                    << u"links=0"_s;
    QTest::newRow("disguised") << u"disguised"_s << QVariant(true) << u"Disguised"_s << u"True"_s
                               << (usual + QStringList{u"jane@example.org"_s}) << u"links=1"_s;
    QTest::newRow("any ending") << u"anyDomain"_s << QVariant(true) << u"AnyDomain"_s << u"True"_s
                                << (QStringList{u"ver@array.sty"_s} + usual) << u"links=1"_s;
    const QString leaveOut = u"# not mine\nX.com\n\n"_s;
    QTest::newRow("leave out") << u"excludeDomains"_s << QVariant(leaveOut) << u"ExcludeDomains"_s << leaveOut
                               << QStringList{u"B@y.org"_s} << u"links=1"_s;
    QTest::newRow("keep only") << u"onlyDomains"_s << QVariant(u"*.com\nx.com"_s) << u"OnlyDomains"_s
                               << u"*.com\nx.com"_s << QStringList{u"a@x.com"_s, u"c@x.com"_s}
                               << u"links=1"_s;
    QTest::newRow("bad pattern left out")
        << u"excludeDomains"_s << QVariant(u"x.com\nno domain"_s) << u"ExcludeDomains"_s
        << u"x.com\nno domain"_s << QStringList{u"B@y.org"_s} << u"links=1"_s;
    const QString other = PdfEngineName(kAlternativeEngine);
    QTest::newRow("the other PDF library") << u"engine"_s << QVariant(other) << u"Engine"_s << other
                                           << QStringList{u"m@other.org"_s} << u"links=1"_s;
}

void TestPreferences::eachChoiceChangesTheNextRun()
{
    QFETCH(QString, control);
    QFETCH(QVariant, value);
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QStringList, addresses);
    QFETCH(QString, linksAsked);
    openPreferences([&](QDialog &dialog) {
        setControl(dialog, control, value);
        const auto *problem = dialog.findChild<QLabel *>(u"patternProblem"_s);
        QCOMPARE(problem->text().contains(u"no domain"_s), value.toString().contains(u"no domain"_s));
    });
    // Stored at once, under the key the settings file documents.
    QCOMPARE(m_settings->read(key, u"(absent)"_s), stored);
    QCOMPARE(runOnce(), addresses);
    QVERIFY(m_engine->fake->loggedCalls().last().contains(linksAsked));

    // A new start reads them again: the dialog shows them and runs keep them.
    const QString file = m_settings->fileName();
    m_window.reset();
    m_settings = std::make_unique<Settings>(file);
    QVERIFY(openWindow({}, [] { return 1; }));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_window->appendPaths({m_pdf});
    QVariant shown;
    openPreferences([&](QDialog &dialog) { shown = controlValue(dialog, control); });
    QCOMPARE(shown, value);
    QCOMPARE(runOnce(), addresses);
}

void TestPreferences::languagesAreTheInstalledOnes()
{
    m_installedLanguages += {u"Latin"_s, u"xyz"_s};
    QStringList offered;
    openPreferences([&](QDialog &dialog) {
        auto *list = dialog.findChild<QListWidget *>(u"ocrLanguages"_s);
        for (int row = 0; row < list->count(); ++row)
            offered.append(list->item(row)->text() +
                           (list->item(row)->checkState() == Qt::Checked ? u"*"_s : u""_s));
        list->item(1)->setCheckState(Qt::Checked);
    });
    // By name, stored by code; orientation detection is no language; English is read
    // when nothing was chosen.
    QCOMPARE(offered, (QStringList{u"English*"_s, u"German"_s, u"Latin script"_s, u"xyz"_s}));
    QCOMPARE(m_settings->ocrLanguages(), u"eng+deu"_s);
    openPreferences([&](QDialog &dialog) {
        auto *list = dialog.findChild<QListWidget *>(u"ocrLanguages"_s);
        list->item(0)->setCheckState(Qt::Unchecked);
        list->item(1)->setCheckState(Qt::Unchecked);
    });
    QCOMPARE(m_settings->ocrLanguages(), u"eng"_s);
}

void TestPreferences::languageNames_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    const std::pair<QString, QString> rows[] = {
        {u"eng"_s, u"English"_s},
        {u"grc"_s, u"Ancient Greek"_s},
        {u"chi_sim"_s, u"Chinese (Simplified)"_s},
        {u"chi_tra_vert"_s, u"Chinese (Traditional, vertical)"_s},
        {u"srp_latn"_s, u"Serbian (Latin)"_s},
        {u"ita_old"_s, u"Italian (old)"_s},
        {u"frk"_s, u"German (Fraktur)"_s}, // Frankish by its ISO code
        {u"nor"_s, u"Norwegian"_s},
        {u"Latin"_s, u"Latin script"_s},
        {u"script/Cyrillic"_s, u"Cyrillic script"_s},
        {u"HanS_vert"_s, u"Simplified Han script (vertical)"_s},
        {u"Canadian_Aboriginal"_s, u"Canadian Aboriginal script"_s},
        {u"Fraktur"_s, u"Fraktur script"_s}, // a script Qt does not name
        {u"xyz"_s, u"xyz"_s},
        {u"deu_xyz"_s, u"deu_xyz"_s},
        {u"lat"_s, u"Latin"_s},
    };
    for (const auto &[code, name] : rows)
        QTest::newRow(qPrintable(code)) << code << name;
}

void TestPreferences::languageNames()
{
    QFETCH(QString, code);
    QFETCH(QString, name);
    QCOMPARE(OcrLanguageName(code), name);
}

void TestPreferences::handEditedListsAreRead_data()
{
    // Lines as a hand writes them into the settings file; QSettings takes commas for a list.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("excluded");
    QTest::addColumn<QString>("languages");
    QTest::newRow("commas") << "ExcludeDomains=example.com, example.org"_ba
                            << QStringList{u"example.com"_s, u"example.org"_s} << u"eng"_s;
    QTest::newRow("quoted, one a line")
        << "ExcludeDomains=\"a.com\\nb.com\""_ba << QStringList{u"a.com"_s, u"b.com"_s} << u"eng"_s;
    QTest::newRow("languages with commas") << "OcrLanguages=deu, eng"_ba << QStringList() << u"deu+eng"_s;
    QTest::newRow("languages as stored") << "OcrLanguages=deu+fra"_ba << QStringList() << u"deu+fra"_s;
}

void TestPreferences::handEditedListsAreRead()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, excluded);
    QFETCH(QString, languages);
    const QString file = m_engine->temp.filePath(u"edited.ini"_s);
    QVERIFY(test::writeFile(file, "[Pelmora]\n" + line + "\n"));
    const Settings edited(file);
    QCOMPARE(edited.domainPatterns(Settings::excludeDomainsKey()), excluded);
    QCOMPARE(edited.ocrLanguages(), languages);
}

void TestPreferences::cacheCanBeTurnedOffAndEmptied()
{
    const QString database = ResultsCache::databasePath(m_engine->temp.filePath(u"cache"_s));
    const auto converted = [this] {
        const qsizetype before = m_engine->fake->loggedCalls().size();
        runOnce();
        return m_engine->fake->loggedCalls().size() - before;
    };
    QCOMPARE(converted(), 1);
    QCOMPARE(converted(), 0); // from the cache
    QVERIFY(QFileInfo::exists(database));
    QString status;
    openPreferences([&](QDialog &dialog) {
        dialog.findChild<QPushButton *>(u"emptyCache"_s)->click();
        status = dialog.findChild<QLabel *>(u"cacheStatus"_s)->text();
    });
    QCOMPARE(status, u"The cache is empty."_s);
    QVERIFY(!QFileInfo::exists(database));
    QCOMPARE(converted(), 1);
    openPreferences([&](QDialog &dialog) { setControl(dialog, u"resultsCache"_s, false); });
    QCOMPARE(m_settings->read(Settings::resultsCacheKey(), {}), u"False"_s);
    QCOMPARE(converted(), 1);
}

void TestPreferences::choose(QTreeView &view, QMenu &menu, int row, const QString &name)
{
    const QPoint at = view.visualRect(view.model()->index(row, 0)).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &click);
    QVERIFY(menu.isVisible());
    auto *action = menu.findChild<QAction *>(name);
    QVERIFY2(action && action->isEnabled(), qPrintable(name));
    menu.hide();
    action->trigger();
}

void TestPreferences::fileMenuEntries_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("modalKind"); // what it asks of the desktop
    QTest::addColumn<int>("rowsLeft");
    QTest::newRow("open") << u"openFile"_s << u"path"_s << 2;
    QTest::newRow("show in folder") << u"showInFolder"_s << u"showInFolder"_s << 2;
    QTest::newRow("remove") << u"removeFile"_s << QString() << 1;
    QTest::newRow("preferences") << u"preferences"_s << u"dialog"_s << 2;
}

void TestPreferences::fileMenuEntries()
{
    QFETCH(QString, action);
    QFETCH(QString, modalKind);
    QFETCH(int, rowsLeft);
    const QString second = m_engine->writePdf(u"b.pdf"_s, u"TEXT"_s, "b@x.com\f");
    m_window->appendPaths({second});
    auto *view = control<QTreeView>("ListView1");
    choose(*view, m_window->listMenus().fileMenu(), 1, action);
    QCOMPARE(m_window->fileList().rowCount(), rowsLeft);
    QCOMPARE(m_window->fileList().texts().contains(second), rowsLeft == 2);
    if (modalKind.isEmpty()) {
        QVERIFY(m_modal->shown.isEmpty());
        return;
    }
    QCOMPARE(m_modal->shown.size(), 1);
    QCOMPARE(m_modal->shown.first().kind, modalKind);
    if (modalKind != u"dialog"_s)
        QCOMPARE(m_modal->shown.first().text, second);
}

void TestPreferences::resultsMenuEntries_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("rowsLeft");
    QTest::addColumn<QStringList>("nextRun");
    const QStringList all{u"a@x.com"_s, u"B@y.org"_s, u"c@x.com"_s};
    QTest::newRow("copy") << u"copyAddress"_s << u"B@y.org"_s << all << all;
    QTest::newRow("copy with source") << u"copyWithSource"_s << u"B@y.org\t%1\t1"_s << all << all;
    QTest::newRow("open its file") << u"openSource"_s << u"held"_s << all << all;
    QTest::newRow("remove") << u"removeAddress"_s << u"held"_s << QStringList{u"a@x.com"_s, u"c@x.com"_s}
                            << all;
    QTest::newRow("leave out the domain")
        << u"leaveOutDomain"_s << u"held"_s << QStringList{u"a@x.com"_s, u"c@x.com"_s}
        << QStringList{u"a@x.com"_s, u"c@x.com"_s};
    QTest::newRow("preferences") << u"preferences"_s << u"held"_s << all << all;
}

void TestPreferences::resultsMenuEntries()
{
    QFETCH(QString, action);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, rowsLeft);
    QFETCH(QStringList, nextRun);
    m_settings->write(Settings::excludeDomainsKey(), u"example.net"_s);
    QCOMPARE(runOnce(), (QStringList{u"a@x.com"_s, u"B@y.org"_s, u"c@x.com"_s}));
    const qsizetype asked = m_modal->shown.size();
    QGuiApplication::clipboard()->setText(u"held"_s);
    choose(*control<QTreeView>("ListView2"), m_window->listMenus().resultsMenu(), 1, action);
    QCOMPARE(QGuiApplication::clipboard()->text(), clipboard.replace(u"%1"_s, m_pdf));
    QCOMPARE(m_window->resultsList().texts(), rowsLeft);
    QCOMPARE(m_modal->openedPaths, action == u"openSource"_s ? QStringList{m_pdf} : QStringList());
    QCOMPARE(m_modal->shownOf(u"dialog"_s).size(), action == u"preferences"_s ? 1 : 0);
    QCOMPARE(m_modal->shown.size(),
             asked + (action == u"openSource"_s || action == u"preferences"_s ? 1 : 0));
    // Leaving a domain out adds it to the patterns there were.
    QCOMPARE(m_settings->domainPatterns(Settings::excludeDomainsKey()),
             action == u"leaveOutDomain"_s ? QStringList({u"example.net"_s, u"y.org"_s})
                                           : QStringList{u"example.net"_s});
    QCOMPARE(runOnce(), nextRun);
}

void TestPreferences::menusOpenFromTheKeyboard()
{
    QCOMPARE(runOnce().size(), 3);
    auto *view = control<QTreeView>("ListView2");
    view->setFocus();
    view->setCurrentIndex(view->model()->index(2, 0));
    const QPoint overFirst = view->visualRect(view->model()->index(0, 0)).center();
    const QList<std::function<void()>> ways{
        [&] { QTest::keyClick(view, Qt::Key_Menu); },
        [&] { QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier); },
        // As X11 sends the Menu key: the pointer's place, which does not count.
        [&] {
            QContextMenuEvent key(QContextMenuEvent::Keyboard, overFirst, view->mapToGlobal(overFirst));
            QApplication::sendEvent(view, &key);
        }};
    QMenu &menu = m_window->listMenus().resultsMenu();
    for (const std::function<void()> &open : ways) {
        open();
        QVERIFY(menu.isVisible());
        menu.findChild<QAction *>(u"copyAddress"_s)->trigger();
        menu.hide();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"c@x.com"_s);
        QGuiApplication::clipboard()->clear();
    }
    // A click below the rows: nothing but the preferences.
    const QPoint below(5, view->viewport()->height() - 2);
    QContextMenuEvent click(QContextMenuEvent::Mouse, below, view->viewport()->mapToGlobal(below));
    QApplication::sendEvent(view->viewport(), &click);
    QVERIFY(menu.isVisible());
    QStringList enabled;
    for (const QAction *action : menu.actions()) {
        if (action->isEnabled() && !action->isSeparator())
            enabled.append(action->objectName());
    }
    menu.hide();
    QCOMPARE(enabled, QStringList{u"preferences"_s});
}

QTEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
