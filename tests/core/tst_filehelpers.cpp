#include "FolderTree.h"
#include "core/FileHelpers.h"
#include "core/NativePath.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestFileHelpers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pathParts_data();
    void pathParts();
    void kindsOfPath_data();
    void kindsOfPath();
    void deleteQuietly();
    void nativeNamesRoundTrip_data();
    void nativeNamesRoundTrip();
};

void TestFileHelpers::pathParts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("stripped");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << u"/docs/report.pdf"_s << u"/docs/report"_s << u"report.pdf"_s;
    QTest::newRow("several dots") << u"/docs/a.b.pdf"_s << u"/docs/a.b"_s << u"a.b.pdf"_s;
    // The last "." of the whole path counts, also inside a folder's name.
    QTest::newRow("dot only in a folder") << u"/my.docs/report"_s << u"/my"_s << u"report"_s;
    QTest::newRow("no dot, no folder") << u"report"_s << u"report"_s << u"report"_s;
    QTest::newRow("empty") << QString() << QString() << QString();
}

void TestFileHelpers::pathParts()
{
    QFETCH(QString, path);
    QFETCH(QString, stripped);
    QFETCH(QString, name);
    QCOMPARE(StripExtension(path), stripped);
    QCOMPARE(FileNameOfPath(path), name);
}

void TestFileHelpers::kindsOfPath_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("openable");
    QTest::addColumn<bool>("ordinary");
    QTest::newRow("file") << u"f.pdf"_s << true << false << true << true;
    // Not to be read by its user, unless that is root, who may read it all the same.
    const bool root = ::geteuid() == 0;
    QTest::newRow("file without rights") << u"noaccess.pdf"_s << true << false << root << root;
    QTest::newRow("hidden file") << u".h.pdf"_s << true << false << true << false;
    QTest::newRow("folder") << u"dir"_s << true << true << false << false;
    QTest::newRow("link to file") << u"lf"_s << true << false << true << true;
    QTest::newRow("link to folder") << u"ld"_s << true << true << false << false;
    QTest::newRow("dangling link") << u"dead"_s << false << false << false << false;
    QTest::newRow("missing") << u"missing"_s << false << false << false << false;
    QTest::newRow("under a file") << u"f.pdf/x"_s << false << false << false << false;
    // A pipe would keep a reader waiting for ever: never a file to convert.
    QTest::newRow("fifo") << u"fifo"_s << true << false << false << false;
    QTest::newRow("empty path") << QString() << false << false << false << false;
}

void TestFileHelpers::kindsOfPath()
{
    QFETCH(QString, relative);
    QFETCH(bool, exists);
    QFETCH(bool, folder);
    QFETCH(bool, openable);
    QFETCH(bool, ordinary);
    test::FolderTree tree;
    QVERIFY(tree.dirs({u"dir"_s}));
    QVERIFY(tree.files({u"f.pdf"_s, u"noaccess.pdf"_s, u".h.pdf"_s}));
    QVERIFY(QFile::setPermissions(tree.path(u"noaccess.pdf"_s), QFileDevice::Permissions()));
    QVERIFY(tree.link(u"f.pdf"_s, u"lf"_s));
    QVERIFY(tree.link(u"dir"_s, u"ld"_s));
    QVERIFY(tree.link(u"missing"_s, u"dead"_s));
    QCOMPARE(::mkfifo(QFile::encodeName(tree.path(u"fifo"_s)).constData(), 0644), 0);
    const QString path = relative.isEmpty() ? QString() : tree.path(relative);
    QCOMPARE(FileExists(path), exists);
    QCOMPARE(IsFolder(path), folder);
    QCOMPARE(IsOpenableFile(path), openable);
    QCOMPARE(IsOrdinaryFile(path), ordinary);
}

void TestFileHelpers::deleteQuietly()
{
    test::FolderTree tree;
    QVERIFY(tree.files({u"plain.txt"_s, u"readonly.txt"_s}));
    QVERIFY(QFile::setPermissions(tree.path(u"readonly.txt"_s), QFileDevice::ReadOwner));
    for (const QString &name : {u"plain.txt"_s, u"readonly.txt"_s, u"missing.txt"_s}) {
        DeleteFileQuietly(tree.path(name));
        QVERIFY2(!QFile::exists(tree.path(name)), qPrintable(name));
    }
    DeleteFileQuietly(QString()); // nothing to do, and nothing said
}

void TestFileHelpers::nativeNamesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("raw");
    QTest::newRow("ASCII") << QByteArray("/docs/a.pdf") << u"/docs/a.pdf"_s << false;
    QTest::newRow("UTF-8") << QByteArray("/d/Z\xc3\xbcrich \xe2\x82\xac.pdf") << u"/d/Zürich €.pdf"_s
                           << false;
    // Each byte that is no UTF-8 stands as U+DC00 + byte.
    const auto kept = [](uchar byte) { return QString(QChar(char16_t(0xDC00 + byte))); };
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9.pdf") << u"caf"_s + kept(0xe9) + u".pdf"_s << true;
    QTest::newRow("cut sequence") << QByteArray("a\xc3.pdf") << u"a"_s + kept(0xc3) + u".pdf"_s << true;
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << kept(0xc0) + kept(0xaf) << true;
    QTest::newRow("encoded surrogate")
        << QByteArray("\xed\xa0\x80") << kept(0xed) + kept(0xa0) + kept(0x80) << true;
    // U+D2492 is the pair D809 DC92, whose second half looks like the kept byte 0x92.
    QTest::newRow("pair ending like a kept byte")
        << QByteArray("\xf3\x92\x92\x92.pdf") << QString::fromUcs4(U"\U000D2492.pdf") << false;
    const QByteArray mark("\xef\xbb\xbf");
    QTest::newRow("byte order mark first") << mark + "a.pdf" << QChar(0xFEFF) + u"a.pdf"_s << false;
    QTest::newRow("byte order mark after a kept byte")
        << "\xff" + mark + "a" << kept(0xff) + QChar(0xFEFF) + u"a"_s << true;
    QTest::newRow("pair, then a kept byte")
        << QByteArray("\xf3\x92\x92\x92\x92") << QString::fromUcs4(U"\U000D2492") + kept(0x92) << true;
}

void TestFileHelpers::nativeNamesRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, raw);
    QCOMPARE(PathFromNative(bytes), text);
    QCOMPARE(NativePath(text), bytes);
    QCOMPARE(HasRawBytes(text), raw);
    // A file of that name is found again through its text.
    test::FolderTree tree;
    QVERIFY(tree.rawFile(QFileInfo(QString::fromLatin1(bytes)).fileName().toLatin1()));
    const QString path = tree.root() + u'/' + QFileInfo(text).fileName();
    QVERIFY(IsOpenableFile(path));
}

QTEST_GUILESS_MAIN(TestFileHelpers)
#include "tst_filehelpers.moc"
