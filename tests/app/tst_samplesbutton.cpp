#include "WindowTest.h"
#include "app/SampleController.h"
#include "app/TextListModel.h"
#include "inputs/SampleFiles.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

// "Load Sample/Example Files" in the window, with a program folder of its own.
class TestSamplesButton : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void startUpRecordsTheSamples();
    void recordedOnceThenKept();
    void emptyFolderIsRecordedAgain();
    void pressAppendsWhatIsNotListed();
    void otherLetterCaseIsNotListed();
    void deletedSampleIsSkipped();
    void noSampleFolder();
    void yesOpensTheSampleFolder();
    void committedSamples();

private:
    void writeSample(const QString &name);
    void start();
    void pressLoad();
    QString sample(const QString &name) const { return m_program->path() + u"/Samples/"_s + name; }

    std::unique_ptr<QTemporaryDir> m_program;
};

void TestSamplesButton::init()
{
    m_program = std::make_unique<QTemporaryDir>();
    QVERIFY(setUpParts(false));
}

void TestSamplesButton::cleanup()
{
    tearDownParts();
    m_program.reset();
}

void TestSamplesButton::writeSample(const QString &name)
{
    QVERIFY(QDir(m_program->path()).mkpath(u"Samples"_s));
    QFile file(sample(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("%PDF-1.4\n");
}

void TestSamplesButton::start()
{
    createWindow(m_program->path(), [] { return 1; });
    m_window->startUp();
}

void TestSamplesButton::pressLoad()
{
    auto *button = m_window->findChild<QPushButton *>(u"PushButton7"_s);
    QVERIFY(button);
    button->click();
}

void TestSamplesButton::startUpRecordsTheSamples()
{
    writeSample(u"a.pdf"_s);
    writeSample(u"b.pdf"_s);
    start();
    const QString stored = m_settings->read(Settings::snapshotKey(), QString());
    QVERIFY(!stored.isEmpty());
    QVERIFY(!stored.contains(u"a.pdf"_s)); // kept scrambled
    QCOMPARE(UnscrambleText(stored, SampleKey()), sample(u"a.pdf"_s) + u'|' + sample(u"b.pdf"_s));
}

void TestSamplesButton::recordedOnceThenKept()
{
    writeSample(u"a.pdf"_s);
    start();
    const QString first = m_settings->read(Settings::snapshotKey(), QString());
    writeSample(u"later.pdf"_s);
    start();
    QCOMPARE(m_settings->read(Settings::snapshotKey(), QString()), first);
    pressLoad();
    QCOMPARE(m_window->fileList().texts(), QStringList{sample(u"a.pdf"_s)});
}

void TestSamplesButton::emptyFolderIsRecordedAgain()
{
    start();
    QCOMPARE(m_settings->read(Settings::snapshotKey(), u"absent"_s), QString());
    writeSample(u"a.pdf"_s);
    start();
    QCOMPARE(UnscrambleText(m_settings->read(Settings::snapshotKey(), QString()), SampleKey()),
             sample(u"a.pdf"_s));
}

void TestSamplesButton::pressAppendsWhatIsNotListed()
{
    writeSample(u"a.pdf"_s);
    writeSample(u"b.pdf"_s);
    start();
    m_window->fileList().append({u"/elsewhere/x.pdf"_s});
    pressLoad();
    QCOMPARE(m_window->fileList().texts(),
             (QStringList{u"/elsewhere/x.pdf"_s, sample(u"a.pdf"_s), sample(u"b.pdf"_s)}));
    QCOMPARE(m_modal->shown.size(), 1);
    QCOMPARE(m_modal->shown.first().kind, u"yesno"_s);
    QCOMPARE(m_modal->shown.first().title, u"Pelmora"_s);
    QCOMPARE(m_modal->shown.first().text, SampleController::openFolderQuestion());
    QVERIFY(m_modal->openedUrls.isEmpty()); // answered No

    // Again: nothing new, and the question once more.
    pressLoad();
    QCOMPARE(m_window->fileList().rowCount(), 3);
    QCOMPARE(m_modal->shownOf(u"yesno"_s).size(), 2);
}

void TestSamplesButton::otherLetterCaseIsNotListed()
{
    writeSample(u"a.pdf"_s);
    start();
    const QString shouted = sample(u"a.pdf"_s).toUpper();
    m_window->fileList().append({shouted});
    pressLoad();
    QCOMPARE(m_window->fileList().texts(), (QStringList{shouted, sample(u"a.pdf"_s)}));
}

void TestSamplesButton::deletedSampleIsSkipped()
{
    writeSample(u"a.pdf"_s);
    writeSample(u"b.pdf"_s);
    start();
    QVERIFY(QFile::remove(sample(u"b.pdf"_s)));
    pressLoad();
    QCOMPARE(m_window->fileList().texts(), QStringList{sample(u"a.pdf"_s)});
    QVERIFY(m_modal->shownOf(u"message"_s).isEmpty());
}

void TestSamplesButton::noSampleFolder()
{
    start();
    m_modal->yesNoAnswers.enqueue(true);
    pressLoad();
    QCOMPARE(m_window->fileList().rowCount(), 0);
    QCOMPARE(m_modal->shownOf(u"yesno"_s).size(), 1);
    // The folder is handed over even though it is missing; nothing is reported.
    QCOMPARE(m_modal->openedUrls, QList<QUrl>{QUrl::fromLocalFile(m_program->path() + u"/Samples"_s)});
    QVERIFY(m_modal->shownOf(u"message"_s).isEmpty());
}

void TestSamplesButton::yesOpensTheSampleFolder()
{
    writeSample(u"a.pdf"_s);
    start();
    m_modal->yesNoAnswers.enqueue(true);
    pressLoad();
    QCOMPARE(m_modal->openedUrls.size(), 1);
    const QUrl url = m_modal->openedUrls.first();
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), m_program->path() + u"/Samples"_s);
    QVERIFY(QFileInfo(url.toLocalFile()).isDir());
}

void TestSamplesButton::committedSamples()
{
    // The samples that ship with the program, read where they are kept.
    createWindow(QStringLiteral(PELMORA_ASSETS), [] { return 1; });
    m_window->startUp();
    pressLoad();
    const QStringList listed = m_window->fileList().texts();
    QCOMPARE(listed.size(), QDir(QStringLiteral(PELMORA_ASSETS "/Samples")).entryList(QDir::Files).size());
    QVERIFY(listed.size() >= 4);
    for (const QString &path : listed) {
        QVERIFY(path.startsWith(QStringLiteral(PELMORA_ASSETS "/Samples/")));
        QVERIFY(path.endsWith(u".pdf"_s));
    }
}

QTEST_MAIN(TestSamplesButton)
#include "tst_samplesbutton.moc"
