#include "TestData.h"
#include "results/ResultsFile.h"
#include "run/ErrorTrap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

Q_DECLARE_METATYPE(pelmora::AddressSource)

namespace {

// Rows with no source, as the two lists write them.
QList<AddressSource> rows(const QStringList &addresses)
{
    QList<AddressSource> rows;
    for (const QString &address : addresses)
        rows.append({address, {}, 0, 1});
    return rows;
}

QStringList manyAddresses(int count)
{
    QStringList addresses;
    for (int i = 0; i < count; ++i)
        addresses.append(u"person.%1@example%2.com"_s.arg(i).arg(i % 97));
    return addresses;
}

// Every file below `root` with its bytes, folders marked, to compare before and after.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    const QDir dir(root);
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (info.isDir()) {
            files.insert(info.fileName() + u'/', {});
            const QMap<QString, QByteArray> inner = snapshot(info.filePath());
            for (auto it = inner.cbegin(); it != inner.cend(); ++it)
                files.insert(info.fileName() + u'/' + it.key(), it.value());
        } else {
            files.insert(info.fileName(), test::readFile(info.filePath()));
        }
    }
    return files;
}

// Runs the save and returns the error descriptions it raised (at most one is expected).
QStringList errorsOf(const std::function<void()> &save)
{
    try {
        save();
    } catch (const AppError &error) {
        return {error.description()};
    }
    return {};
}

const QByteArray kOld = QByteArray("old content that must survive\r\n").repeated(40);

} // namespace

class TestResultsFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void formats_data();
    void formats();
    void sourcesAsCsvAndJsonLines_data();
    void sourcesAsCsvAndJsonLines();
    void jsonLinesReadBackWhole();
    void saveReplacesLongerFile_data();
    void saveReplacesLongerFile();
    void nameWithoutExtensionIsUsedAsTyped();
    void failuresLeaveEverythingAsItWas_data();
    void failuresLeaveEverythingAsItWas();
    void fullDiskLeavesOldFileIdentical();
    void permissionDeniedLeavesOldFileIdentical();
};

void TestResultsFile::formats_data()
{
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QByteArray>("lineList");
    QTest::addColumn<QByteArray>("commaList");

    QTest::newRow("empty") << QStringList() << QByteArray("") << QByteArray("\r\n");
    QTest::newRow("one") << QStringList{u"a@b.cd"_s} << QByteArray("a@b.cd\r\n") << QByteArray("a@b.cd,\r\n");
    QTest::newRow("A and B") << QStringList{u"A"_s, u"B"_s} << QByteArray("A\r\nB\r\n")
                             << QByteArray("A,B,\r\n");
    QTest::newRow("order kept, duplicates written")
        << QStringList{u"z@z.zz"_s, u"a@a.aa"_s, u"z@z.zz"_s} << QByteArray("z@z.zz\r\na@a.aa\r\nz@z.zz\r\n")
        << QByteArray("z@z.zz,a@a.aa,z@z.zz,\r\n");
    const QStringList many = manyAddresses(5000);
    QTest::newRow("5000 rows") << many << (many.join(u"\r\n"_s) + u"\r\n"_s).toLatin1()
                               << (many.join(u',') + u",\r\n"_s).toLatin1();
}

void TestResultsFile::formats()
{
    QFETCH(QStringList, addresses);
    QFETCH(QByteArray, lineList);
    QFETCH(QByteArray, commaList);

    QCOMPARE(LineListBytes(addresses), lineList);
    QCOMPARE(CommaListBytes(addresses), commaList);

    QTemporaryDir dir;
    const QString lines = dir.filePath(u"lines.txt"_s);
    const QString commas = dir.filePath(u"commas.txt"_s);
    SaveResults(lines, rows(addresses), ResultsFormat::LineList);
    SaveResults(commas, rows(addresses), ResultsFormat::CommaList);
    QCOMPARE(test::readFile(lines), lineList);
    QCOMPARE(test::readFile(commas), commaList);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"commas.txt"_s, u"lines.txt"_s}));
}

void TestResultsFile::sourcesAsCsvAndJsonLines_data()
{
    QTest::addColumn<AddressSource>("row");
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("plain")
        << AddressSource{u"a@b.cd"_s, u"/docs/a.pdf"_s, 3, 2} << QByteArray("a@b.cd,/docs/a.pdf,3,2,text,,")
        << QByteArray(
               R"({"address":"a@b.cd","file":"/docs/a.pdf","page":3,"count":2,"via":"text","repaired":"","inside":""})");
    // RFC 4180: commas, quotes and line breaks put a field in quotes, its quotes doubled.
    QTest::newRow("comma and quote in the name")
        << AddressSource{u"x@y.org"_s, u"/d/a, \"b\".pdf"_s, 1, 1, FoundVia::Link}
        << QByteArray(R"(x@y.org,"/d/a, ""b"".pdf",1,1,link,,)")
        << QByteArray(
               R"({"address":"x@y.org","file":"/d/a, \"b\".pdf","page":1,"count":1,"via":"link","repaired":"","inside":""})");
    QTest::newRow("line break and backslash")
        << AddressSource{u"x@y.org"_s, u"/d/two\nlines\\.pdf"_s, 12, 5, FoundVia::Recognised}
        << QByteArray("x@y.org,\"/d/two\nlines\\.pdf\",12,5,recognised,,")
        << QByteArray(
               R"({"address":"x@y.org","file":"/d/two\u000alines\\.pdf","page":12,"count":5,"via":"recognised","repaired":"","inside":""})");
    QTest::newRow("not ASCII")
        << AddressSource{u"x@y.org"_s, u"/d/Zürich €.pdf"_s, 1, 1, FoundVia::Disguised}
        << QByteArray("x@y.org,/d/Z\xc3\xbcrich \xe2\x82\xac.pdf,1,1,disguised,,")
        << QByteArray("{\"address\":\"x@y.org\",\"file\":\"/d/Z\xc3\xbcrich \xe2\x82\xac.pdf\","
                      "\"page\":1,\"count\":1,\"via\":\"disguised\",\"repaired\":\"\",\"inside\":\"\"}");
    // A file name's byte that is not UTF-8 (0xff) is a lone surrogate: JSON keeps it
    // escaped, CSV as the byte itself, so both name that file.
    QTest::newRow("odd byte in the name")
        << AddressSource{u"x@y.org"_s, u"/d/a"_s + QChar(0xdcff) + u"\U0001F600.pdf"_s, 1, 1}
        << QByteArray("x@y.org,/d/a\xff\xf0\x9f\x98\x80.pdf,1,1,text,,")
        << QByteArray(
               R"({"address":"x@y.org","file":"/d/a\udcff\ud83d\ude00.pdf","page":1,"count":1,"via":"text","repaired":"","inside":""})");
    // What a spreadsheet would take for a formula starts with an apostrophe in CSV only.
    QTest::newRow("formula-like cells")
        << AddressSource{u"-x@y.org"_s, u"=HYPERLINK(\"http://x\",\"y\").pdf"_s, 1, 1}
        << QByteArray(R"('-x@y.org,"'=HYPERLINK(""http://x"",""y"").pdf",1,1,text,,)")
        << QByteArray(
               R"({"address":"-x@y.org","file":"=HYPERLINK(\"http://x\",\"y\").pdf","page":1,"count":1,"via":"text","repaired":"","inside":""})");
    QTest::newRow("formula-like names")
        << AddressSource{u"a@b.cd"_s, u"+1\t@2\r.pdf"_s, 1, 1}
        << QByteArray("a@b.cd,\"'+1\t@2\r.pdf\",1,1,text,,")
        << QByteArray(
               R"({"address":"a@b.cd","file":"+1\u0009@2\u000d.pdf","page":1,"count":1,"via":"text","repaired":"","inside":""})");
    QTest::newRow("repaired")
        << AddressSource{u"ann.lee@x.org"_s,
                         u"/a.pdf"_s,
                         2,
                         1,
                         FoundVia::Text,
                         {},
                         AddressRule::BrokenLines | AddressRule::LookAlikes}
        << QByteArray("ann.lee@x.org,/a.pdf,2,1,text,joined+lookalike,")
        << QByteArray(
               R"({"address":"ann.lee@x.org","file":"/a.pdf","page":2,"count":1,"via":"text","repaired":"joined+lookalike","inside":""})");
    QTest::newRow("in an attached file, no page")
        << AddressSource{u"x@y.org"_s,         u"/a.pdf"_s, 0,  1,
                         FoundVia::Attachment, {},          {}, u"r.pdf \u00bb c, d.txt"_s}
        << QByteArray("x@y.org,/a.pdf,0,1,attachment,,\"r.pdf \xc2\xbb c, d.txt\"")
        << QByteArray("{\"address\":\"x@y.org\",\"file\":\"/a.pdf\",\"page\":0,\"count\":1,"
                      "\"via\":\"attachment\",\"repaired\":\"\",\"inside\":\"r.pdf \xc2\xbb c, d.txt\"}");
    QTest::newRow("tab and at-sign first")
        << AddressSource{u"a@b.cd"_s, u"\tname.pdf"_s, 1, 1} << QByteArray("a@b.cd,'\tname.pdf,1,1,text,,")
        << QByteArray(
               R"({"address":"a@b.cd","file":"\u0009name.pdf","page":1,"count":1,"via":"text","repaired":"","inside":""})");
}

void TestResultsFile::sourcesAsCsvAndJsonLines()
{
    QFETCH(AddressSource, row);
    QFETCH(QByteArray, csv);
    QFETCH(QByteArray, json);
    QCOMPARE(CsvBytes({row}, "\r\n"), "address,file,page,count,via,repaired,inside\r\n" + csv + "\r\n");
    QCOMPARE(CsvBytes({row, row}, "\n"),
             "address,file,page,count,via,repaired,inside\n" + csv + '\n' + csv + '\n');
    QCOMPARE(JsonLinesBytes({row}), json + '\n');
    QCOMPARE(ParseJsonLines(json + '\n'), QList<AddressSource>{row});
    // The window's CSV file: the same rows with CR LF, written whole like the lists.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"sources.csv"_s);
    QVERIFY(test::writeFile(path, kOld));
    SaveResults(path, {row}, ResultsFormat::Csv);
    QCOMPARE(test::readFile(path), "address,file,page,count,via,repaired,inside\r\n" + csv + "\r\n");
}

void TestResultsFile::jsonLinesReadBackWhole()
{
    const QList<AddressSource> many{{u"a@b.cd"_s, u"/a.pdf"_s, 1, 1}, {u"B@c.de"_s, u"/b.pdf"_s, 40, 3}};
    QCOMPARE(ParseJsonLines(JsonLinesBytes(many) + "\n"), many); // a trailing empty line is no row
    // Written before there were "via" and "repaired": found in a page's text, unrepaired.
    QCOMPARE(ParseJsonLines(R"({"address":"a@b.cd","file":"/a.pdf","page":1,"count":1})"),
             QList<AddressSource>{many.first()});
    const QList<std::pair<QByteArray, QString>> brokenTexts{
        {"{\"address\":1}\n", u"line 1 "_s},
        {"not json\n", u"line 1 "_s},
        {R"({"address":"a@b.cd","file":"/a.pdf","page":1,"count":1,"via":"fax"})", u"line 1 "_s},
        {R"({"address":"a@b.cd","file":"/a.pdf","page":1,"count":1,"repaired":"glued"})", u"line 1 "_s},
        {JsonLinesBytes(many) + "{\"file\":\"/x.pdf\",\"page\":1,\"count\":1}\n", u"line 3 "_s}};
    for (const auto &[broken, where] : brokenTexts) {
        const QStringList errors = errorsOf([&] { ParseJsonLines(broken); });
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(where), qPrintable(errors.first()));
    }
}

void TestResultsFile::saveReplacesLongerFile_data()
{
    QTest::addColumn<ResultsFormat>("format");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("line list, one row")
        << ResultsFormat::LineList << QStringList{u"x@y.zz"_s} << QByteArray("x@y.zz\r\n");
    QTest::newRow("line list, empty") << ResultsFormat::LineList << QStringList() << QByteArray("");
    QTest::newRow("comma list, two rows") << ResultsFormat::CommaList << QStringList{u"x@y.zz"_s, u"q@r.st"_s}
                                          << QByteArray("x@y.zz,q@r.st,\r\n");
    QTest::newRow("comma list, empty") << ResultsFormat::CommaList << QStringList() << QByteArray("\r\n");
}

void TestResultsFile::saveReplacesLongerFile()
{
    QFETCH(ResultsFormat, format);
    QFETCH(QStringList, addresses);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"results.txt"_s);
    QVERIFY(test::writeFile(path, kOld));
    SaveResults(path, rows(addresses), format);
    QCOMPARE(test::readFile(path), expected);
    // Saving again over the result is the same replacement.
    SaveResults(path, rows(addresses), format);
    QCOMPARE(test::readFile(path), expected);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"results.txt"_s});
}

void TestResultsFile::nameWithoutExtensionIsUsedAsTyped()
{
    QTemporaryDir dir;
    SaveResults(dir.filePath(u"results"_s), rows(QStringList{u"a@b.cd"_s}), ResultsFormat::LineList);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{u"results"_s});
    QCOMPARE(test::readFile(dir.filePath(u"results"_s)), QByteArray("a@b.cd\r\n"));
}

void TestResultsFile::failuresLeaveEverythingAsItWas_data()
{
    QTest::addColumn<QString>("relativePath"); // below a folder holding old.txt and sub/old.txt
    QTest::addColumn<QString>("words");

    QTest::newRow("folder does not exist") << u"missing/results.txt"_s << u"does not exist"_s;
    QTest::newRow("name of an existing folder") << u"sub"_s << u"folder"_s;
    QTest::newRow("below an existing file") << u"old.txt/results.txt"_s << u"does not exist"_s;
    QTest::newRow("no name") << QString() << u"no file name"_s;
}

void TestResultsFile::failuresLeaveEverythingAsItWas()
{
    QFETCH(QString, relativePath);
    QFETCH(QString, words);

    QTemporaryDir dir;
    QVERIFY(test::writeFile(dir.filePath(u"old.txt"_s), kOld));
    QVERIFY(QDir(dir.path()).mkdir(u"sub"_s));
    QVERIFY(test::writeFile(dir.filePath(u"sub/old.txt"_s), kOld));
    const auto before = snapshot(dir.path());
    const QString path = relativePath.isEmpty() ? QString() : dir.filePath(relativePath);

    for (const ResultsFormat format : {ResultsFormat::LineList, ResultsFormat::CommaList}) {
        const QStringList errors = errorsOf([&] { SaveResults(path, rows(manyAddresses(1000)), format); });
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(words), qPrintable(errors.first()));
        if (!path.isEmpty())
            QVERIFY2(errors.first().contains(QDir::toNativeSeparators(path)), qPrintable(errors.first()));
        QCOMPARE(snapshot(dir.path()), before);
    }
}

void TestResultsFile::fullDiskLeavesOldFileIdentical()
{
    // A file-size limit makes writes fail with "file too large" for every user, root
    // included, as a full disk would.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"results.txt"_s);
    QVERIFY(test::writeFile(path, kOld));
    const auto before = snapshot(dir.path());

    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = old;
    tight.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    const QStringList errors =
        errorsOf([&] { SaveResults(path, rows(manyAddresses(100000)), ResultsFormat::LineList); });
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(errors.size(), 1);
    // The cause is named, not lost in a short write.
    QCOMPARE(errors.first(), u"The results could not be saved to "_s + path + u": File too large."_s);
    QCOMPARE(snapshot(dir.path()), before); // no half-written file, no temporary file left
}

void TestResultsFile::permissionDeniedLeavesOldFileIdentical()
{
    if (geteuid() == 0)
        QSKIP(
            "Running as root: permission bits do not stop root's writes, so there is no denial to observe.");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"locked"_s));
    const QString inLocked = dir.filePath(u"locked/results.txt"_s);
    const QString readOnly = dir.filePath(u"readonly.txt"_s);
    QVERIFY(test::writeFile(inLocked, kOld));
    QVERIFY(test::writeFile(readOnly, kOld));
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    const QString locked = dir.filePath(u"locked"_s);
    QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const auto before = snapshot(dir.path());

    for (const QString &path : {inLocked, readOnly}) {
        const QStringList errors =
            errorsOf([&] { SaveResults(path, rows(QStringList{u"a@b.cd"_s}), ResultsFormat::CommaList); });
        QCOMPARE(errors.size(), 1);
        QCOMPARE(snapshot(dir.path()), before);
    }
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QTEST_GUILESS_MAIN(TestResultsFile)
#include "tst_resultsfile.moc"
