#include "TestData.h"
#include "WindowTest.h"
#include "app/AppTitle.h"
#include "app/BusyState.h"
#include "app/StartUp.h"
#include "app/TextListModel.h"
#include "run/ErrorTrap.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

const QString kAssets = QStringLiteral(PELMORA_ASSETS);

int px(int twips)
{
    return qRound(twips / 15.0);
}

QRect twips(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

struct Control
{
    const char *name;
    const char *parent;
    QString text;
    QRect twipGeometry;
    int tab;
};

// The window's controls in tab order.
const QList<Control> &table()
{
    static const QList<Control> controls{
        {"ListView1", "Form1", u"PDF Files"_s, {120, 630, 7800, 1830}, 0},
        {"PushButton1", "Form1", u"Add PDF File(s)"_s, {120, 2550, 3840, 405}, 1},
        {"PushButton4", "Form1", u"Add All PDF File(s) In Folder"_s, {4080, 2550, 3840, 405}, 2},
        {"PushButton6", "Form1", u"Clear List"_s, {120, 3060, 3840, 405}, 3},
        {"PushButton7", "Form1", u"Load Sample/Example Files"_s, {4080, 3060, 3840, 405}, 4},
        {"Frame6",
         "Form1",
         u"Click on file above - This is how your file appears to this software"_s,
         {120, 3510, 7800, 1215},
         5},
        {"Text2", "Frame6", QString(), {240, 300, 7320, 735}, 6},
        {"Frame1", "Form1", u"Password Option"_s, {120, 4780, 7800, 1455}, 7},
        {"Option6", "Frame1", u"All PDFs have the same password"_s, {480, 1000, 4695, 270}, 8},
        {"Option5", "Frame1", u"Each PDF has a different password"_s, {480, 650, 5415, 270}, 9},
        {"Check1",
         "Frame1",
         u"Prompt for password because PDF files are password protected"_s,
         {240, 315, 6375, 255},
         10},
        {"ProgressBar1", "Form1", QString(), {120, 9810, 7800, 405}, 11},
        {"PushButton2", "Form1", u"Start Extracting"_s, {120, 6360, 7800, 405}, 12},
        {"ListView2", "Form1", u"Results"_s, {120, 6860, 7800, 1830}, 13},
        {"PushButton3", "Form1", u"Save Results As Text File"_s, {120, 8780, 3840, 405}, 14},
        {"PushButton5", "Form1", u"Save Results With Comma"_s, {4080, 8780, 3840, 405}, 15},
        {"PushButton9", "Form1", u"Clear Results"_s, {4080, 9290, 3840, 405}, 16},
        {"PushButton8", "Form1", u"Copy Results To Clipboard"_s, {120, 9290, 3840, 405}, 17},
        {"PushButton10", "Form1", u"Help"_s, {120, 120, 7800, 405}, 18},
    };
    return controls;
}

// What a start-up step had done when something observable happened.
struct Moment
{
    QString event;
    bool snapshot = false;
    bool optionsRestored = false;
    bool previewEmpty = false;
    bool converter = false;
};

} // namespace

class TestMainWindow : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void layout_data();
    void layout();
    void tabOrder();
    void fixedWindow();
    void startUpOrder();
    void failedStepIsReportedAndStartUpGoesOn();
    void makerSite_data();
    void makerSite();
    void rollCoversOneToHundred();
    void appTitle_data();
    void appTitle();
    void skinFile_data();
    void skinFile();
    void buttonPointer_data();
    void buttonPointer();

private:
    void moveOver(QWidget *widget, QPoint position = {});
};

void TestMainWindow::init()
{
    QVERIFY(setUpParts(false));
}

void TestMainWindow::cleanup()
{
    tearDownParts();
}

void TestMainWindow::moveOver(QWidget *widget, QPoint position)
{
    if (position.isNull())
        position = widget->rect().center();
    QTest::mouseMove(m_window->windowHandle(), widget->mapTo(m_window.get(), position));
}

void TestMainWindow::layout_data()
{
    QTest::addColumn<int>("index");
    for (qsizetype i = 0; i < table().size(); ++i)
        QTest::newRow(table()[i].name) << static_cast<int>(i);
}

void TestMainWindow::layout()
{
    QFETCH(int, index);
    QVERIFY(openWindow(kAssets));
    const Control &expected = table()[index];
    auto *widget = control<QWidget>(expected.name);
    const QRect g = expected.twipGeometry;
    QCOMPARE(widget->geometry(), twips(g.x(), g.y(), g.width(), g.height()));
    QCOMPARE(widget->parentWidget()->objectName(), QString::fromLatin1(expected.parent));
    QVERIFY(widget->isVisible());

    // Captions, and that each fits its control in the window's fonts.
    const bool isButton = qobject_cast<QPushButton *>(widget) != nullptr;
    QCOMPARE(widget->font().families().value(0), u"Arial"_s);
    QVERIFY(widget->font().bold());
    QCOMPARE(widget->font().pointSizeF(), isButton ? 11.25 : 9.0);
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QCOMPARE(button->text(), expected.text);
        QVERIFY2(button->sizeHint().width() <= widget->width(), expected.name);
    } else if (auto *frame = qobject_cast<QGroupBox *>(widget)) {
        QCOMPARE(frame->title(), expected.text);
        QVERIFY(frame->fontMetrics().horizontalAdvance(expected.text) < frame->width() - px(240));
        // The caption sits on the frame's edge, above the first control inside.
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect edge =
            frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, frame);
        const QRect label =
            frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
        QVERIFY(label.top() < edge.top() && edge.top() < label.bottom());
        QVERIFY(label.bottom() < frame->findChildren<QWidget *>().first()->y());
    } else if (auto *list = qobject_cast<QTreeView *>(widget)) {
        QCOMPARE(list->model()->columnCount(), 1);
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(), expected.text);
        QCOMPARE(list->header()->sectionSize(0), px(7000));
        QVERIFY(!list->isHeaderHidden());
        QVERIFY(
            list->toolTip().startsWith(expected.name == QByteArrayView("ListView1")
                                           ? u"Drag and drop files here. Double-click item to remove it."_s
                                           : u"Double-click item to remove it."_s));
        QVERIFY(list->toolTip().endsWith(u" Move | line to right and out of window to reveal full names."_s));
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(widget)) {
        QCOMPARE(text->toPlainText(), expected.text);
    } else {
        QVERIFY(qobject_cast<QProgressBar *>(widget));
    }
}

void TestMainWindow::tabOrder()
{
    QVERIFY(openWindow(kAssets));
    QStringList expected;
    for (const Control &c : table()) {
        auto *widget = control<QWidget>(c.name);
        // Frames and the progress bar take no focus; every other control does.
        const bool focusable = !qobject_cast<QGroupBox *>(widget) && !qobject_cast<QProgressBar *>(widget);
        QCOMPARE(bool(widget->focusPolicy() & Qt::TabFocus), focusable);
        if (focusable)
            expected << QString::fromLatin1(c.name);
    }
    QStringList chain;
    QWidget *widget = control<QWidget>("ListView1");
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && expected.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != control<QWidget>("ListView1"));
    QCOMPARE(chain, expected);
}

void TestMainWindow::fixedWindow()
{
    QVERIFY(openWindow(kAssets));
    QCOMPARE(m_window->size(), QSize(536, 689));
    QCOMPARE(m_window->minimumSize(), QSize(536, 689));
    QCOMPARE(m_window->maximumSize(), QSize(536, 689));
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(m_window->windowTitle(), u"Pelmora"_s);
    QVERIFY(!m_window->windowIcon().isNull());
    QCOMPARE(m_window->windowIcon().pixmap(64, 64).size(), QSize(64, 64));
    QCOMPARE(AppTitle(), u"Pelmora"_s);
    // White, with no skin file in the program's folder.
    const QImage shot = m_window->grab().toImage();
    QCOMPARE(shot.pixelColor(2, 2), QColor(Qt::white));
    const QWidget *frame = control<QWidget>("Frame1");
    QCOMPARE(shot.pixelColor(frame->geometry().center()), QColor(Qt::white));

    CentreOnScreen(*m_window);
    const QRect screen = m_window->screen()->availableGeometry();
    QVERIFY(qAbs(m_window->frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(m_window->frameGeometry().center().y() - screen.center().y()) <= 1);
}

void TestMainWindow::startUpOrder()
{
    // With an empty settings store, each observable effect of a step is noted together
    // with the effects of the other steps seen so far.
    QList<Moment> moments;
    QPlainTextEdit *text2 = nullptr;
    QRadioButton *option5 = nullptr;
    auto note = [&](const QString &event) {
        moments.append({event, !m_settings->read(Settings::snapshotKey(), QString()).isEmpty(),
                        option5->isChecked(), text2->toPlainText().isEmpty(),
                        QFileInfo::exists(m_engine->workspace->converterPath())});
    };
    createWindow(
        kAssets,
        [&] {
            note(u"roll"_s);
            return 1;
        },
        QUrl(u"https://maker.example/"_s));
    text2 = control<QPlainTextEdit>("Text2");
    option5 = control<QRadioButton>("Option5");
    text2->setPlainText(u"left over"_s);
    connect(m_window.get(), &QWidget::windowTitleChanged, this, [&] { note(u"caption"_s); });
    connect(option5, &QRadioButton::toggled, this, [&] { note(u"options"_s); });
    connect(text2, &QPlainTextEdit::textChanged, this, [&] { note(u"preview"_s); });
    m_window->startUp();
    note(u"loaded"_s);

    QStringList events;
    for (const Moment &m : moments)
        events << m.event;
    QCOMPARE(events, (QStringList{u"roll"_s, u"caption"_s, u"options"_s, u"preview"_s, u"loaded"_s}));
    auto state = [&](int i) {
        const Moment &m = moments[i];
        return QList<bool>{m.snapshot, m.optionsRestored, m.previewEmpty, m.converter};
    };
    QCOMPARE(state(0), (QList<bool>{false, false, false, false}));
    QCOMPARE(state(1), (QList<bool>{true, false, false, false}));
    QCOMPARE(state(2), (QList<bool>{true, true, false, false}));
    QCOMPARE(state(3), (QList<bool>{true, true, true, false}));
    QCOMPARE(state(4), (QList<bool>{true, true, true, true}));
    QVERIFY(m_modal->shown.isEmpty());
    QVERIFY(!control<QCheckBox>("Check1")->isChecked());
    QVERIFY(!control<QRadioButton>("Option6")->isChecked());
    QVERIFY(option5->isEnabled() && control<QRadioButton>("Option6")->isEnabled());
    QCOMPARE(m_window->fileList().rowCount(), 0);
    QCOMPARE(m_window->resultsList().rowCount(), 0);
}

void TestMainWindow::failedStepIsReportedAndStartUpGoesOn()
{
    // A stored password option that is no number: restoring it fails.
    const QString store = m_engine->temp.filePath(u"broken.ini"_s);
    QVERIFY(test::writeFile(store, "[Pelmora]\nCheck1=twice\n"));
    m_settings = std::make_unique<Settings>(store);
    createWindow(kAssets);
    control<QPlainTextEdit>("Text2")->setPlainText(u"left over"_s);
    m_window->startUp();

    const QList<test::ScriptedModal::Shown> errors = m_modal->shownOf(u"message"_s);
    QVERIFY(!errors.isEmpty());
    QCOMPARE(errors.first().title, u"Application Error"_s);
    QCOMPARE(errors.first().icon, Modal::Icon::Warning);
    QVERIFY2(errors.first().text.contains(u"\r\nin Pelmora2021/08/31.Form1.Form_Load at line "_s),
             qPrintable(errors.first().text));
    QVERIFY2(errors.first().text.startsWith(u"Type mismatch\r\n"_s), qPrintable(errors.first().text));
    // The steps after it still ran.
    QCOMPARE(m_window->windowTitle(), u"Pelmora"_s);
    QVERIFY(control<QPlainTextEdit>("Text2")->toPlainText().isEmpty());
    QVERIFY(QFileInfo::exists(m_engine->workspace->converterPath()));
}

void TestMainWindow::makerSite_data()
{
    // A build that names no site (the default) rolls nothing and opens nothing.
    QTest::addColumn<QUrl>("site");
    QTest::addColumn<int>("roll");
    QTest::addColumn<bool>("opens");
    const QUrl site(u"https://maker.example/pelmora"_s);
    QTest::newRow("1") << site << 1 << false;
    QTest::newRow("6") << site << 6 << false;
    QTest::newRow("7") << site << 7 << true;
    QTest::newRow("8") << site << 8 << false;
    QTest::newRow("100") << site << 100 << false;
    QTest::newRow("no site, 7") << QUrl() << 7 << false;
    QTest::newRow("the build's site, 7") << MakerSiteUrl() << 7 << !MakerSiteUrl().isEmpty();
}

void TestMainWindow::makerSite()
{
    QFETCH(QUrl, site);
    QFETCH(int, roll);
    QFETCH(bool, opens);
    int rolls = 0;
    QVERIFY(openWindow(
        kAssets,
        [&] {
            ++rolls;
            return roll;
        },
        site));
    QCOMPARE(rolls, site.isEmpty() ? 0 : 1);
    QCOMPARE(m_modal->openedUrls, opens ? QList<QUrl>{site} : QList<QUrl>());
}

void TestMainWindow::rollCoversOneToHundred()
{
    QList<int> seen(101, 0);
    for (int i = 0; i < 5000; ++i) {
        const int roll = RollOneToHundred();
        QVERIFY(roll >= 1 && roll <= 100);
        ++seen[roll];
    }
    QVERIFY(seen[1] > 0 && seen[7] > 0 && seen[100] > 0);
}

void TestMainWindow::appTitle_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("title");
    QTest::newRow("one word stays") << u"Pelmora"_s << u"Pelmora"_s;
    QTest::newRow("last word goes") << u"Pelmora Address Extractor"_s << u"Pelmora Address"_s;
    QTest::newRow("trailing space") << u"Pelmora "_s << u"Pelmora"_s;
    QTest::newRow("long name shortened to 40")
        << u"Pelmora Extractor of Addresses from Many Documents at Once"_s
        << u"Pelmora Extractor of Addresses from Many"_s;
    QTest::newRow("41 after the first cut")
        << u"Pelmora Extractor of Addresses from Many1 x"_s << u"Pelmora Extractor of Addresses from"_s;
    QTest::newRow("long single word") << QString(50, u'x') << QString(50, u'x');
    QTest::newRow("long first word") << QString(50, u'x') + u" y z"_s << QString(50, u'x');
}

void TestMainWindow::appTitle()
{
    QFETCH(QString, product);
    QFETCH(QString, title);
    QCOMPARE(MakeAppTitle(product), title);
    QVERIFY(MakeAppTitle(product).size() <= 40 || !MakeAppTitle(product).contains(u' '));
}

void TestMainWindow::skinFile_data()
{
    QTest::addColumn<QString>("skinPath");
    QTest::addColumn<bool>("skinned");
    QTest::newRow("x/o.cjs") << u"x/o.cjs"_s << true;
    QTest::newRow("none") << QString() << false;
    QTest::newRow("other name") << u"x/o.cjs.bak"_s << false;
}

void TestMainWindow::skinFile()
{
    QFETCH(QString, skinPath);
    QFETCH(bool, skinned);
    QTemporaryDir folder;
    if (!skinPath.isEmpty()) {
        QVERIFY(QDir(folder.path()).mkpath(u"x"_s));
        QFile skin(folder.filePath(skinPath));
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write("not read");
    }
    QVERIFY(openWindow(folder.path()));
    const QColor expected = skinned ? m_window->palette().color(QPalette::Button) : QColor(Qt::white);
    QVERIFY(expected != QColor(Qt::white) || !skinned);
    for (const char *name : {"Form1", "Frame1", "Frame6", "Check1", "Option5", "Option6"}) {
        const QWidget *widget = name == QByteArrayView("Form1") ? m_window.get() : control<QWidget>(name);
        QCOMPARE(widget->palette().color(QPalette::Window), expected);
    }
    const QImage shot = m_window->grab().toImage();
    QCOMPARE(shot.pixelColor(2, 2), expected);
    QCOMPARE(shot.pixelColor(control<QWidget>("Frame1")->geometry().center()), expected);
    QCOMPARE(shot.pixelColor(control<QWidget>("Frame6")->geometry().bottomLeft() + QPoint(20, -3)), expected);
    QVERIFY(m_modal->shown.isEmpty());
}

void TestMainWindow::buttonPointer_data()
{
    QTest::addColumn<bool>("withHand");
    QTest::newRow("HAND-M.CUR") << true;
    QTest::newRow("no HAND-M.CUR") << false;
}

void TestMainWindow::buttonPointer()
{
    QFETCH(bool, withHand);
    QTemporaryDir folder;
    if (withHand)
        QVERIFY(QFile::copy(kAssets + u"/HAND-M.CUR"_s, folder.filePath(u"HAND-M.CUR"_s)));
    QVERIFY(openWindow(folder.path()));
    auto shape = [&] { return m_window->cursor().shape(); };

    for (const char *name : {"PushButton1", "PushButton2", "PushButton3", "PushButton4", "PushButton5",
                             "PushButton6", "PushButton7", "PushButton8", "PushButton9", "PushButton10"}) {
        moveOver(control<QWidget>("ListView2"));
        QCOMPARE(shape(), Qt::ArrowCursor);
        moveOver(control<QWidget>(name));
        QCOMPARE(shape(), withHand ? Qt::BitmapCursor : Qt::ArrowCursor);
    }
    if (withHand) {
        QCOMPARE(m_window->cursor().hotSpot(), QPoint(9, 0));
        QCOMPARE(m_window->cursor().pixmap().size(), QSize(32, 32));
    }

    // Controls without a rule keep what the last rule left.
    moveOver(control<QWidget>("Check1"));
    QCOMPARE(shape(), withHand ? Qt::BitmapCursor : Qt::ArrowCursor);
    // Frames, lists and the background are normal areas.
    for (const char *name : {"Frame1", "Frame6", "ListView1", "ListView2", "Form1"}) {
        moveOver(control<QWidget>("PushButton1"));
        QWidget *area = name == QByteArrayView("Form1") ? m_window.get() : control<QWidget>(name);
        moveOver(area, name == QByteArrayView("Form1") ? QPoint(3, 3) : QPoint(3, area->height() - 3));
        QCOMPARE(shape(), Qt::ArrowCursor);
    }

    // The busy pointer stays whatever the pointer passes over.
    {
        const BusyState::Hold busy(m_window->busyState());
        moveOver(control<QWidget>("PushButton2"));
        QCOMPARE(shape(), Qt::ArrowCursor);
        moveOver(control<QWidget>("PushButton3"));
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    moveOver(control<QWidget>("PushButton3"));
    moveOver(control<QWidget>("PushButton2"));
    QCOMPARE(shape(), withHand ? Qt::BitmapCursor : Qt::ArrowCursor);
    {
        const BusyState::Hold busy(m_window->busyState());
        moveOver(control<QWidget>("ListView1"));
        QCOMPARE(shape(), withHand ? Qt::BitmapCursor : Qt::ArrowCursor);
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
