// Runs over hostile input files with the program's own converter: damaged and fake PDFs
// (with either engine), files that are not files, odd names, files that vanish or change
// while the run goes on.
// After every run the input tree is unchanged, the work folder empty and no converter
// left running.
#include "EngineFixture.h"
#include "RunInvariants.h"
#include "RunToEnd.h"
#include "TestData.h"
#include "core/NativePath.h"
#include "inputs/FolderWalk.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

QByteArray contents(const QString &name)
{
    return test::readFile(test::dataFile(name));
}

// Makes a file under a name given as bytes, as the file system will hold it.
bool writeRawName(const QString &folder, const QByteArray &name, const QByteArray &bytes)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

const QStringList kContacts1{u"Sales@Example.com"_s,  u"support@acme.com"_s,   u"billing@acme.com"_s,
                             u"press@acme.com"_s,     u"media@acme.com"_s,     u"webmaster@acme.com"_s,
                             u"hr@acme.com"_s,        u"jobs@acme.com"_s,      u"legal@acme.com"_s,
                             u"info@acme.com"_s,      u"john+news@acme.com"_s, u"frontdesk@acme.com"_s,
                             u"warehouse@acme.com"_s, u"returns@acme.com"_s,   u"dispatch@acme.com"_s};

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void damagedAndFakePdfs_data();
    void damagedAndFakePdfs();
    void oddNames_data();
    void oddNames();
    void filesVanishOrChangeWhileTheRunGoesOn();

private:
    test::RunOutcome run(const QStringList &pdfs, const std::function<void()> &whenStarted = {})
    {
        return test::runToEnd(*m_engine, pdfs, m_host, 1, whenStarted);
    }
    test::RunInvariants invariants() const { return test::RunInvariants(m_engine->input.path()); }
    QString inputPath(const QString &name) const { return m_engine->inputPath(name); }

    std::unique_ptr<test::EngineFixture> m_engine;
    test::ScriptedRunHost m_host;
};

void TestHostileFiles::init()
{
    m_engine = std::make_unique<test::EngineFixture>(test::EngineFixture::Kind::Service);
    QVERIFY(m_engine->isValid());
}

void TestHostileFiles::cleanup()
{
    m_engine.reset();
}

void TestHostileFiles::damagedAndFakePdfs_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("addresses"); // what the file yields; nothing means unreadable
    const QStringList none;
    for (const QString &engine : test::EngineNames()) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s, %s", qPrintable(engine), name) << engine;
        };
        row("zero bytes") << u"zero"_s << none;
        row("cut in the middle") << u"middle"_s << none;
        // The converter rebuilds the cross-reference table that a cut end lost.
        row("cut before the trailer") << u"end"_s << kContacts1;
        row("random bytes") << u"random"_s << none;
        row("PDF header then random bytes") << u"header"_s << none;
        row("plain text named .pdf") << u"text"_s << none;
        row("folder named .pdf") << u"folder"_s << none;
        // The converter would wait for a writer for ever.
        row("named pipe") << u"fifo"_s << none;
        row("link to a PDF") << u"link"_s << kContacts1;
        row("dangling link") << u"dangling"_s << none;
    }
}

void TestHostileFiles::damagedAndFakePdfs()
{
    QFETCH(QString, engine);
    QFETCH(QString, kind);
    QFETCH(QStringList, addresses);
    m_engine = std::make_unique<test::EngineFixture>(test::EngineFixture::Kind::Service, true, engine);
    QVERIFY(m_engine->isValid());
    const QByteArray pdf = contents(u"contacts-1.pdf"_s);
    QVERIFY(!pdf.isEmpty());
    const QString path = inputPath(u"hostile.pdf"_s);
    QByteArray random(65536, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    if (kind == u"zero"_s)
        QVERIFY(test::writeFile(path, QByteArray()));
    else if (kind == u"middle"_s)
        QVERIFY(test::writeFile(path, pdf.left(pdf.size() * 2 / 3)));
    else if (kind == u"end"_s)
        QVERIFY(test::writeFile(path, pdf.left(pdf.size() - 30)));
    else if (kind == u"random"_s)
        QVERIFY(test::writeFile(path, random));
    else if (kind == u"header"_s)
        QVERIFY(test::writeFile(path, "%PDF-1.4\n" + random));
    else if (kind == u"text"_s)
        QVERIFY(test::writeFile(path, "Not a PDF: write to text@example.com\n"));
    else if (kind == u"folder"_s)
        QVERIFY(QDir().mkdir(path));
    else if (kind == u"fifo"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == u"link"_s || kind == u"dangling"_s) {
        const QString target = inputPath(u"target.pdf"_s);
        QVERIFY(test::writeFile(target, pdf));
        QVERIFY(QFile::link(target, path));
        if (kind == u"dangling"_s)
            QVERIFY(QFile::remove(target));
    }
    const test::RunInvariants invariants = this->invariants();
    const test::RunOutcome outcome = run({path});
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses, addresses);
    if (addresses.isEmpty())
        QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{path, UnreadableReason::Damaged}}));
    else
        QCOMPARE(outcome.unreadable, QList<UnreadableFile>());
    const QString broken = m_engine->leftBehind(invariants);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestHostileFiles::oddNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("newlines") << QByteArray("two\nlines\n.pdf");
    QTest::newRow("carriage return and tab") << QByteArray("cr\rtab\t.pdf");
    QTest::newRow("255 bytes") << QByteArray(251, 'n') + ".pdf";
    // 125 two-byte letters: 250 bytes, 125 characters.
    QTest::newRow("255 bytes of UTF-8") << QByteArray("\xc3\xa9").repeated(125) + "x.pdf";
    // Names that are no UTF-8 keep their bytes on their way to the converter.
    QTest::newRow("invalid UTF-8") << QByteArray("bad\xff\xfe name.pdf");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9.pdf");
}

void TestHostileFiles::oddNames()
{
    QFETCH(QByteArray, name);
    QVERIFY(writeRawName(m_engine->input.path(), name, contents(u"contacts-1.pdf"_s)));
    // QTemporaryDir cannot remove what Qt cannot list.
    const QByteArray rawPath = QFile::encodeName(m_engine->input.path()) + '/' + name;
    const auto removeRaw = qScopeGuard([&] { ::unlink(rawPath.constData()); });
    // The path as a folder scan lists it and as a command line gives it: the same row.
    FolderScan scan(u"*.pdf"_s);
    const QStringList listed = scan.filesIn(m_engine->input.path());
    const QString path = PathFromNative(rawPath);
    QCOMPARE(listed, QStringList{path});
    QCOMPARE(NativePath(path), rawPath);

    const test::RunInvariants invariants = this->invariants();
    const test::RunOutcome outcome = run({path});
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses, kContacts1);
    QCOMPARE(outcome.unreadable, QList<UnreadableFile>());
    const QString broken = m_engine->leftBehind(invariants);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestHostileFiles::filesVanishOrChangeWhileTheRunGoesOn()
{
    const QString first = inputPath(u"first.pdf"_s);
    const QString vanishes = inputPath(u"vanishes.pdf"_s);
    const QString replaced = inputPath(u"replaced.pdf"_s);
    const QString truncated = inputPath(u"truncated.pdf"_s);
    const QString becomesFolder = inputPath(u"becomes folder.pdf"_s);
    for (const QString &path : {first, vanishes, replaced, truncated, becomesFolder})
        QVERIFY(test::writeFile(path, contents(u"contacts-1.pdf"_s)));

    std::unique_ptr<test::RunInvariants> invariants;
    // Listed with five files; as the first converts, the others change under the run.
    const test::RunOutcome outcome = run({first, vanishes, replaced, truncated, becomesFolder}, [&] {
        QVERIFY(QFile::remove(vanishes));
        QVERIFY(test::writeFile(replaced, contents(u"contacts-2.pdf"_s)));
        QVERIFY(QFile::resize(truncated, 0));
        QVERIFY(QFile::remove(becomesFolder));
        QVERIFY(QDir().mkdir(becomesFolder));
        invariants = std::make_unique<test::RunInvariants>(this->invariants());
    });
    QVERIFY(outcome.ended);
    QVERIFY(invariants);
    const QStringList fromReplaced{u"accounts@example.org"_s, u"audit@example.org"_s,
                                   u"escalate@example.org"_s, u"logistics@example.net"_s,
                                   u"partners@example.net"_s};
    QCOMPARE(outcome.addresses, kContacts1 + fromReplaced);
    QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{vanishes, UnreadableReason::Damaged},
                                                        {truncated, UnreadableReason::Damaged},
                                                        {becomesFolder, UnreadableReason::Damaged}}));
    const QString broken = m_engine->leftBehind(*invariants);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QTEST_GUILESS_MAIN(TestHostileFiles)
#include "tst_hostilefiles.moc"
