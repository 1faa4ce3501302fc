// Every committed PDF converted by pelmora-convert, through one long-lived serving
// worker and in its one-shot form, and by the real pdftotext over the same page
// ranges: the same bytes, the same exit statuses.
#include "TestData.h"
#include "WorkerSession.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// pdftotext keeps 32 characters of a password; this user password has 45.
const QByteArray kLongUserPassword = "a-user-password-of-forty-five-characters-long";

struct Password
{
    QByteArray candidate;     // what the program hands the worker
    QStringList forPdftotext; // how pdftotext opens the same file
};

// The committed protected files (tests/data/README.md).
const QHash<QString, Password> &passwords()
{
    static const QHash<QString, Password> known{
        {u"encrypted.pdf"_s, {"secret", {u"-opw"_s, u"secret"_s, u"-upw"_s, u"secret"_s}}},
        {u"identity/protected-aes256.pdf"_s, {"identity-user", {u"-upw"_s, u"identity-user"_s}}},
        {u"identity/protected-aes128.pdf"_s, {"identity-user128", {u"-upw"_s, u"identity-user128"_s}}},
        {u"identity/protected-long.pdf"_s, {kLongUserPassword, {u"-opw"_s, u"long-owner"_s}}},
        {u"identity/protected-rc4.pdf"_s, {"caf\xc3\xa9", {u"-opw"_s, u"rc4-owner"_s}}},
    };
    return known;
}

QStringList committedPdfs()
{
    QStringList names;
    for (const QString &folder : {QString(), u"identity/"_s, u"ocr/"_s, u"forged/"_s, u"words/"_s}) {
        const QDir dir(test::dataFile(folder));
        for (const QString &name : dir.entryList({u"*.pdf"_s}, QDir::Files, QDir::Name))
            names << folder + name;
    }
    return names;
}

QStringList rangeArguments(int first, int last)
{
    QStringList arguments;
    if (first != 0)
        arguments << u"-f"_s << QString::number(first);
    if (last != 0)
        arguments << u"-l"_s << QString::number(last);
    return arguments;
}

} // namespace

class TestConverterIdentity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void sameTextAsPdftotext_data();
    void sameTextAsPdftotext();
    void passwordsLongerThanPdftotextKeeps_data();
    void passwordsLongerThanPdftotextKeeps();
    void oneShotWritesNoFileForWhatDoesNotOpen_data();
    void oneShotWritesNoFileForWhatDoesNotOpen();

private:
    test::WorkerSession m_worker; // one worker for every conversion of this test
    QTemporaryDir m_out;
};

void TestConverterIdentity::initTestCase()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QFAIL("pdftotext is not installed (package poppler-utils)");
    QVERIFY(m_out.isValid());
    QVERIFY(m_worker.start());
}

void TestConverterIdentity::cleanupTestCase()
{
    QCOMPARE(m_worker.finish(), 0);
}

void TestConverterIdentity::sameTextAsPdftotext_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    const QStringList names = committedPdfs();
    // At least the files the identity set was made for, and the older test data.
    for (const QString &expected :
         {u"contacts-1.pdf"_s, u"long.pdf"_s, u"identity/columns.pdf"_s, u"identity/rotated.pdf"_s,
          u"identity/cropbox.pdf"_s, u"identity/scripts.pdf"_s, u"identity/pages-200.pdf"_s,
          u"identity/links.pdf"_s, u"identity/protected-long.pdf"_s, u"ocr/scan-and-text.pdf"_s})
        QVERIFY2(names.contains(expected), qPrintable(expected));
    // Whole files, single pages, inner ranges, ranges clamped at either end, and ranges
    // pdftotext refuses (the first page after the last).
    const QList<std::pair<int, int>> ranges{{0, 0},    {1, 1},   {2, 3},   {2, 0}, {-4, 2},
                                            {3, 9999}, {150, 0}, {1, 100}, {5, 4}};
    for (const QString &name : names) {
        for (const auto &[first, last] : ranges)
            QTest::addRow("%s %d..%d", qPrintable(name), first, last) << name << first << last;
    }
}

void TestConverterIdentity::sameTextAsPdftotext()
{
    QFETCH(QString, name);
    QFETCH(int, first);
    QFETCH(int, last);
    const QString pdf = test::dataFile(name);
    const Password password = passwords().value(name);

    QStringList arguments = password.forPdftotext + rangeArguments(first, last) << pdf << u"-"_s;
    const test::Conversion reference = test::RunConverter(u"pdftotext"_s, arguments);
    QVERIFY2(reference.exitCode == 0 || reference.exitCode == 1 || reference.exitCode == 99,
             qPrintable(QString::number(reference.exitCode)));

    QList<QByteArray> candidates;
    if (!password.candidate.isEmpty())
        candidates << password.candidate;
    const std::optional<test::WorkerAnswer> answer =
        m_worker.ask(test::Request(QFile::encodeName(pdf), candidates, first, last));
    QVERIFY(answer);
    if (reference.exitCode == 1) {
        // Files pdftotext cannot open are the damaged ones here; the worker names poppler's error.
        QCOMPARE(answer->opened.outcome, protocol::Outcome::Damaged);
        QVERIFY(protocol::DecodeNumber(answer->opened.detail).value_or(0) > 0);
    } else if (answer->opened.outcome == protocol::Outcome::Damaged) {
        // A file of no pages is unreadable to the worker; pdftotext finds no page either.
        QCOMPARE(answer->opened.detail, std::string("the file has no pages"));
        QCOMPARE(reference.exitCode, 99);
        QVERIFY(reference.text.isEmpty());
    } else {
        QCOMPARE(answer->opened.outcome, protocol::Outcome::Text);
        QCOMPARE(answer->text(), reference.text);
        // pdftotext refuses an empty range and writes nothing; the worker sends no page.
        QCOMPARE(answer->opened.pageCount == 0, reference.exitCode == 99);
        for (const test::PageAnswer &page : answer->pages) {
            // A page poppler cannot load has no text, as in pdftotext's, and is named.
            if (page.text.isEmpty() && page.incomplete.startsWith("it cannot be loaded"))
                continue;
            QVERIFY2(page.text.endsWith('\f'), qPrintable(u"page %1"_s.arg(page.page)));
            // Poppler hands its text over in tiny pieces; they travel joined.
            QCOMPARE(page.pieces, 1);
        }
    }

    // The one-shot form, on standard output, with pdftotext's passwords and exit status.
    arguments = password.forPdftotext + rangeArguments(first, last) << pdf << u"-"_s;
    const test::Conversion oneShot = test::RunConverter(test::ServiceProgram(), arguments);
    QCOMPARE(oneShot.exitCode, reference.exitCode);
    QCOMPARE(oneShot.text, reference.text);
}

void TestConverterIdentity::passwordsLongerThanPdftotextKeeps_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("opens");
    QTest::newRow("all 45 characters") << kLongUserPassword << true;
    QTest::newRow("the 32 pdftotext keeps") << kLongUserPassword.left(32) << false;
    QTest::newRow("one character short") << kLongUserPassword.chopped(1) << false;
}

void TestConverterIdentity::passwordsLongerThanPdftotextKeeps()
{
    QFETCH(QByteArray, password);
    QFETCH(bool, opens);
    const QString pdf = test::dataFile(u"identity/protected-long.pdf"_s);
    const QString user = QString::fromLatin1(password);

    // pdftotext cuts the password, so the open password never reaches poppler whole.
    QCOMPARE(test::RunConverter(u"pdftotext"_s, {u"-upw"_s, user, pdf, u"-"_s}).exitCode, 1);

    const test::Conversion byOwner =
        test::RunConverter(u"pdftotext"_s, {u"-opw"_s, u"long-owner"_s, pdf, u"-"_s});
    QCOMPARE(byOwner.exitCode, 0);
    QVERIFY(byOwner.text.contains("guarded@example.com"));

    const std::optional<test::WorkerAnswer> answer =
        m_worker.ask(test::Request(QFile::encodeName(pdf), {password}));
    QVERIFY(answer);
    QCOMPARE(answer->opened.outcome, opens ? protocol::Outcome::Text : protocol::Outcome::WrongPassword);
    QCOMPARE(answer->text(), opens ? byOwner.text : QByteArray());

    const test::Conversion oneShot =
        test::RunConverter(test::ServiceProgram(), {u"-upw"_s, user, pdf, u"-"_s});
    QCOMPARE(oneShot.exitCode, opens ? 0 : 1);
    QCOMPARE(oneShot.text, opens ? byOwner.text : QByteArray());
}

void TestConverterIdentity::oneShotWritesNoFileForWhatDoesNotOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::newRow("contacts-1") << u"contacts-1.pdf"_s << QStringList() << 0;
    QTest::newRow("scripts, pages 2 on") << u"identity/scripts.pdf"_s << QStringList{u"-f"_s, u"2"_s} << 0;
    QTest::newRow("damaged") << u"damaged.pdf"_s << QStringList() << 1;
    QTest::newRow("empty") << u"empty.pdf"_s << QStringList() << 1;
    QTest::newRow("not a PDF") << u"notpdf.pdf"_s << QStringList() << 1;
    QTest::newRow("encrypted, no password") << u"encrypted.pdf"_s << QStringList() << 1;
    QTest::newRow("encrypted, wrong password")
        << u"encrypted.pdf"_s << QStringList{u"-opw"_s, u"Secret"_s} << 1;
    QTest::newRow("missing") << u"no-such-file.pdf"_s << QStringList() << 1;
    QTest::newRow("empty range") << u"contacts-1.pdf"_s << QStringList{u"-f"_s, u"3"_s, u"-l"_s, u"2"_s}
                                 << 99;
}

void TestConverterIdentity::oneShotWritesNoFileForWhatDoesNotOpen()
{
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    const QString pdf = test::dataFile(name);
    const QString ours = m_out.filePath(u"ours.txt"_s);
    const QString theirs = m_out.filePath(u"theirs.txt"_s);
    QFile::remove(ours);
    QFile::remove(theirs);

    QCOMPARE(test::RunConverter(u"pdftotext"_s, QStringList(options) << pdf << theirs).exitCode, status);
    QCOMPARE(test::RunConverter(test::ServiceProgram(), QStringList(options) << pdf << ours).exitCode,
             status);
    QCOMPARE(QFile::exists(ours), status == 0);
    QCOMPARE(QFile::exists(theirs), status == 0);
    if (status == 0)
        QCOMPARE(test::readFile(ours), test::readFile(theirs));
}

QTEST_GUILESS_MAIN(TestConverterIdentity)
#include "tst_converteridentity.moc"
