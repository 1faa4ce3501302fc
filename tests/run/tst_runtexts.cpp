#include "run/ErrorTrap.h"
#include "run/PasswordPrompt.h"
#include "run/RunReport.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {
class Collect : public ErrorSink
{
public:
    QStringList titles, texts;
    void reportError(const QString &title, const QString &text) override
    {
        titles << title;
        texts << text;
    }
};
} // namespace

class TestRunTexts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void trapReportsTheFailedStepAndGoesOn();
    void passwordPrompts();
    void passwordRules_data();
    void passwordRules();
    void longPasswordListsAreMadeOnce();
    void namesInReportsCannotForgeLines_data();
    void namesInReportsCannotForgeLines();
};

void TestRunTexts::trapReportsTheFailedStepAndGoesOn()
{
    Collect sink;
    ErrorTrap trap(sink, u"Form1"_s, u"PushButton2_Click"_s);
    QStringList steps;
    QVERIFY(trap.step([&] { steps << u"first"_s; }));
    const int failingLine = __LINE__ + 1;
    QVERIFY(!trap.step([&] { throw AppError(u"Disk full"_s); }));
    QVERIFY(!trap.step([&] { throw std::runtime_error("plain failure"); }));
    QVERIFY(trap.step([&] { steps << u"last"_s; }));
    QCOMPARE(steps, (QStringList{u"first"_s, u"last"_s}));
    QCOMPARE(sink.titles, (QStringList{u"Application Error"_s, u"Application Error"_s}));
    QCOMPARE(sink.texts.first(), u"Disk full\r\nin Pelmora2021/08/31.Form1.PushButton2_Click at line "_s +
                                     QString::number(failingLine) +
                                     u"\r\rPlease email screenshot of this message to "_s +
                                     ErrorTrap::supportAddress());
    QVERIFY(sink.texts.last().startsWith(u"plain failure\r\n"_s));
}

void TestRunTexts::passwordPrompts()
{
    QCOMPARE(PasswordPromptTitle(), u"Input Password"_s);
    QCOMPARE(PasswordPromptText(PasswordPrompt::ForAllFiles, u"/x.pdf"_s),
             u"Enter password for all files:"_s);
    QCOMPARE(
        PasswordPromptText(PasswordPrompt::ForFile, u"/d/x.pdf"_s),
        u"Enter password for file (/d/x.pdf): \r\nNote: Leave this box blank if file is not password protected"_s);
}

void TestRunTexts::passwordRules_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("forAll");    // the answer for all files given before; "-": not asked yet
    QTest::addColumn<QStringList>("tried"); // what the file refused
    QTest::addColumn<bool>("handled");      // it was asked about or retried already
    QTest::addColumn<int>("step");
    using Step = PasswordRules::Step;
    const auto row = [](const char *name, PasswordMode mode, const QString &forAll, const QStringList &tried,
                        bool handled, Step step) {
        QTest::newRow(name) << int(mode) << forAll << tried << handled << int(step);
    };
    row("no prompts", PasswordMode::None, u"-"_s, {}, false, Step::Settle);
    row("per file", PasswordMode::PerFile, u"-"_s, {u"known"_s}, false, Step::Ask);
    row("per file, asked already", PasswordMode::PerFile, u"-"_s, {u"typed"_s}, true, Step::Settle);
    row("for all, first file", PasswordMode::SameForAll, u"-"_s, {}, false, Step::Ask);
    row("for all, answer not tried on it", PasswordMode::SameForAll, u"pw"_s, {}, false, Step::Retry);
    row("for all, answer refused", PasswordMode::SameForAll, u"pw"_s, {u"pw"_s}, false, Step::Settle);
    row("for all, blank answer", PasswordMode::SameForAll, QString(), {}, false, Step::Settle);
    row("for all, retried already", PasswordMode::SameForAll, u"pw"_s, {}, true, Step::Settle);
}

void TestRunTexts::passwordRules()
{
    QFETCH(int, mode);
    QFETCH(QString, forAll);
    QFETCH(QStringList, tried);
    QFETCH(bool, handled);
    QFETCH(int, step);
    PasswordRules rules({u"known"_s});
    if (forAll != u"-"_s) {
        // Typed once, it goes first on every later file, before the known ones.
        const QStringList toTry = rules.onAnswer(PasswordPrompt::ForAllFiles, forAll);
        const QStringList expected = forAll.isEmpty() ? QStringList() : QStringList{forAll, u"known"_s};
        QCOMPARE(toTry, expected);
    }
    QCOMPARE(int(rules.onRefused(PasswordMode(mode), tried, handled)), step);
    // An answer for one file is tried on it first, and kept for a run that goes on after this one.
    QCOMPARE(rules.onAnswer(PasswordPrompt::ForFile, u"typed"_s), (QStringList{u"typed"_s, u"known"_s}));
    QVERIFY(rules.everyPassword().contains(u"typed"_s));
    QCOMPARE(rules.onAnswer(PasswordPrompt::ForFile, QString()), QStringList());
}

void TestRunTexts::longPasswordListsAreMadeOnce()
{
    // Each candidate once, in its first place; the list every file takes is made once per
    // answer, not again for each file (a million candidates would cost every file seconds).
    QStringList candidates;
    for (int i = 0; i < 1000; ++i)
        candidates.append(u"pw"_s + QString::number(i));
    PasswordRules rules(candidates + candidates);
    QCOMPARE(rules.toTry(), candidates);
    const QStringList first = rules.toTry();
    QVERIFY(rules.toTry().isSharedWith(first));
    const QStringList answered = rules.onAnswer(PasswordPrompt::ForAllFiles, u"pw500"_s);
    QCOMPARE(answered.size(), 1000);
    QCOMPARE(answered.first(), u"pw500"_s);
    QVERIFY(rules.toTry().isSharedWith(answered));
}

void TestRunTexts::namesInReportsCannotForgeLines_data()
{
    // A name's control characters are written out, in the report of unreadable files (the
    // command's standard error and the window's closing message) and in --ocr-unsure's lines.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << u"/d/a b.pdf"_s << u"/d/a b.pdf"_s;
    QTest::newRow("line break forging a line") << u"/d/x.pdf  - damaged or not a PDF file.\n/etc/y.pdf"_s
                                               << u"/d/x.pdf  - damaged or not a PDF file.\\n/etc/y.pdf"_s;
    QTest::newRow("carriage return and tab") << u"/d/a\rb\tc.pdf"_s << u"/d/a\\rb\\tc.pdf"_s;
    QTest::newRow("terminal escape") << u"/d/\x1b]0;owned\x07.pdf"_s << u"/d/\\x1b]0;owned\\x07.pdf"_s;
    QTest::newRow("DEL and C1") << u"/d/a\x7f\u009b.pdf"_s << u"/d/a\\x7f\\x9b.pdf"_s;
    // Bytes that are not UTF-8 stay bytes, but for 0x80..0x9F, C1 to a one-byte terminal.
    QTest::newRow("kept bytes") << u"/d/"_s + QChar(0xdce9) + QChar(0xdc9b) + u".pdf"_s
                                << u"/d/"_s + QChar(0xdce9) + u"\\x9b.pdf"_s;
    QTest::newRow("letters of any script") << u"/d/Zürich 文档 😀.pdf"_s << u"/d/Zürich 文档 😀.pdf"_s;
}

void TestRunTexts::namesInReportsCannotForgeLines()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QCOMPARE(UnreadableReport({{name, UnreadableReason::Damaged}}, u"\n"_s),
             u"The following files could not be read:\n"_s + shown + u"  - damaged or not a PDF file."_s);
    QCOMPARE(UnreadableReport({{u"/d/a.pdf"_s, UnreadableReason::Failed, name}}, u"\n"_s),
             u"The following files could not be read:\n/d/a.pdf  - could not be converted: "_s + shown);
    QCOMPARE(UnsureLine({name, 2, u"a@b.cd"_s, {}}), shown + u": page 2: a@b.cd"_s);
}

QTEST_GUILESS_MAIN(TestRunTexts)
#include "tst_runtexts.moc"
