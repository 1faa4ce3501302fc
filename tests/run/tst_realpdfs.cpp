// Runs over the committed test PDFs with the real pdftotext.
#include "EngineFixture.h"
#include "RunToEnd.h"
#include "TestData.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// A digest of every file name and content below a folder.
QByteArray treeDigest(const QString &folder)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext())
        files << it.next();
    files.sort();
    for (const QString &file : files) {
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        hash.addData(file.toUtf8());
        hash.addData(f.readAll());
    }
    return hash.result();
}

} // namespace

class TestRealPdfs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void wholeListInOrder_data();
    void wholeListInOrder();
    void passwords_data();
    void passwords();
    void oddNamesAndVanishedFiles();

private:
    test::RunOutcome run(const QStringList &pdfs, test::ScriptedRunHost &host, int jobs = 2)
    {
        return test::runToEnd(*m_engine, pdfs, host, jobs);
    }
    std::unique_ptr<test::EngineFixture> m_engine;
};

void TestRealPdfs::initTestCase()
{
    m_engine = std::make_unique<test::EngineFixture>(test::EngineFixture::Kind::Service);
    QVERIFY(m_engine->isValid());
}

void TestRealPdfs::wholeListInOrder_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("four at once") << 4;
}

void TestRealPdfs::wholeListInOrder()
{
    QFETCH(int, jobs);
    auto data = [](const char *name) { return test::dataFile(QString::fromLatin1(name)); };
    const QStringList pdfs{data("contacts-1.pdf"), data("scanned.pdf"),   data("contacts-2.pdf"),
                           data("damaged.pdf"),    data("empty.pdf"),     data("notpdf.pdf"),
                           data("noaddress.pdf"),  data("encrypted.pdf"), data("contacts-1.pdf")};
    const QByteArray before = treeDigest(test::dataFile(QString()));
    test::ScriptedRunHost host;
    const test::RunOutcome outcome = run(pdfs, host, jobs);
    QVERIFY(outcome.ended);
    // contacts-1 with the sentence-ending and page-starting addresses, then what contacts-2
    // adds, then the whole first page of the file cut short, which MuPDF reads.
    QCOMPARE(outcome.addresses,
             (QStringList{u"Sales@Example.com"_s,     u"support@acme.com"_s,     u"billing@acme.com"_s,
                          u"press@acme.com"_s,        u"media@acme.com"_s,       u"webmaster@acme.com"_s,
                          u"hr@acme.com"_s,           u"jobs@acme.com"_s,        u"legal@acme.com"_s,
                          u"info@acme.com"_s,         u"john+news@acme.com"_s,   u"frontdesk@acme.com"_s,
                          u"warehouse@acme.com"_s,    u"returns@acme.com"_s,     u"dispatch@acme.com"_s,
                          u"accounts@example.org"_s,  u"audit@example.org"_s,    u"escalate@example.org"_s,
                          u"logistics@example.net"_s, u"partners@example.net"_s, u"intact@example.com"_s}));
    QCOMPARE(outcome.unreadable,
             (QList<UnreadableFile>{{pdfs[1], UnreadableReason::TextUnreadable},
                                    {pdfs[3], UnreadableReason::Incomplete,
                                     u"page 2: it cannot be loaded: the file is damaged there"_s},
                                    {pdfs[4], UnreadableReason::Damaged},
                                    {pdfs[5], UnreadableReason::Damaged},
                                    {pdfs[7], UnreadableReason::Protected}}));
    // Nothing beside the PDFs was created or changed.
    QCOMPARE(treeDigest(test::dataFile(QString())), before);
}

void TestRealPdfs::passwords_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<int>("encryptedReason"); // -1: read
    QTest::newRow("right password") << int(PasswordMode::SameForAll) << u"secret"_s
                                    << QStringList{u"vault@example.com"_s, u"readonly@example.com"_s} << -1;
    // The restricted file opens without a password, so a wrong one does not spoil it.
    QTest::newRow("wrong password") << int(PasswordMode::SameForAll) << u"guess"_s
                                    << QStringList{u"readonly@example.com"_s}
                                    << int(UnreadableReason::InvalidPassword);
    QTest::newRow("no password") << int(PasswordMode::None) << QString()
                                 << QStringList{u"readonly@example.com"_s}
                                 << int(UnreadableReason::Protected);
    QTest::newRow("cancelled prompt")
        << int(PasswordMode::PerFile) << QString() << QStringList{u"readonly@example.com"_s}
        << int(UnreadableReason::Protected);
}

void TestRealPdfs::passwords()
{
    QFETCH(int, mode);
    QFETCH(QString, password);
    QFETCH(QStringList, addresses);
    QFETCH(int, encryptedReason);
    test::ScriptedRunHost host;
    host.mode = PasswordMode(mode);
    host.answers = {password};
    const QString encrypted = test::dataFile(u"encrypted.pdf"_s);
    const test::RunOutcome outcome = run({encrypted, test::dataFile(u"restricted.pdf"_s)}, host);
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses, addresses);
    if (encryptedReason < 0)
        QVERIFY(outcome.unreadable.isEmpty());
    else
        QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{encrypted, UnreadableReason(encryptedReason)}}));
}

void TestRealPdfs::oddNamesAndVanishedFiles()
{
    QTemporaryDir folder;
    const QStringList names{u"-leading dash.pdf"_s, u"quote \" and 'apostrophe'.pdf"_s, u"Zürich €.pdf"_s,
                            u"no extension"_s, u"two.dots.pdf"_s};
    QStringList pdfs;
    for (const QString &name : names) {
        const QString path = folder.filePath(name);
        QVERIFY(QFile::copy(test::dataFile(u"contacts-2.pdf"_s), path));
        pdfs << path;
    }
    pdfs << folder.filePath(u"vanished.pdf"_s);
    test::ScriptedRunHost host;
    const test::RunOutcome outcome = run(pdfs, host);
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses.size(), 7);
    QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{pdfs.last(), UnreadableReason::Damaged}}));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), names.size()); // nothing written beside them
}

QTEST_GUILESS_MAIN(TestRealPdfs)
#include "tst_realpdfs.moc"
