#include "run/ErrorTrap.h"
#include "run/PasswordPrompt.h"

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

QTEST_GUILESS_MAIN(TestRunTexts)
#include "tst_runtexts.moc"
