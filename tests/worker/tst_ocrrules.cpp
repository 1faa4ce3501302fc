// The shape of a recognised page, the pieces of it read again, and their vote.
#include "worker/recognition/AddressVote.h"
#include "worker/recognition/OcrRules.h"

#include <QTest>

using namespace pelmora::worker;
using pelmora::AddressRule;
using pelmora::AddressRules;

Q_DECLARE_METATYPE(pelmora::AddressRules)

class TestOcrRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pageText_data();
    void pageText();
    void pageTextOfWords_data();
    void pageTextOfWords();
    void addressPieces_data();
    void addressPieces();
    void vote_data();
    void vote();
    void voteByTheRunsRules_data();
    void voteByTheRunsRules();
};

namespace {

// Readings as vote_data gives them, voted by `rules`: the text, and the addresses as
// vote_data lists them.
std::pair<QByteArray, QByteArrayList> voteOn(const QByteArrayList &readings, const AddressRules &rules)
{
    std::vector<Reading> listed;
    for (const QByteArray &reading : readings) {
        const QByteArrayList parts = reading.split('/');
        Reading made{parts[0].toStdString(), {}, parts.value(1).toDouble()};
        for (const QByteArray &height : parts.value(2).split(','))
            made.heights.push_back(height.toInt());
        listed.push_back(made);
    }
    VoteRules voteRules;
    voteRules.addresses = rules;
    const PieceVote voted = VoteReadings(listed, voteRules);
    QByteArrayList found;
    for (const VotedAddress &address : voted.addresses) {
        QByteArray shown =
            (address.sure ? QByteArray() : QByteArray("!")) + QByteArray::fromStdString(address.address);
        for (const std::string &alternative : address.alternatives)
            shown += '|' + QByteArray::fromStdString(alternative);
        found << shown;
    }
    return {QByteArray::fromStdString(voted.text), found};
}

} // namespace

void TestOcrRules::pageText_data()
{
    QTest::addColumn<QByteArray>("recognised");
    QTest::addColumn<QByteArray>("page");
    QTest::newRow("nothing") << QByteArray() << QByteArray("\f");
    QTest::newRow("only line ends") << QByteArray("\n\n\r\n") << QByteArray("\f");
    QTest::newRow("tesseract's usual")
        << QByteArray("Title\n\na@b.cd\n") << QByteArray("Title\n\na@b.cd\n\f");
    QTest::newRow("last line unended") << QByteArray("one\ntwo") << QByteArray("one\ntwo\n\f");
    QTest::newRow("CR LF and CR") << QByteArray("one\r\ntwo\rthree\r\n") << QByteArray("one\ntwo\nthree\n\f");
    QTest::newRow("CR LF split from CR") << QByteArray("a\r\r\nb") << QByteArray("a\n\nb\n\f");
    QTest::newRow("trailing empty and blank lines") << QByteArray("a\n\n \t\n\n") << QByteArray("a\n\f");
    QTest::newRow("inner blank lines kept") << QByteArray("a\n\n\nb\n\n\n") << QByteArray("a\n\n\nb\n\f");
    QTest::newRow("leading blank lines kept") << QByteArray("\n\na\n") << QByteArray("\n\na\n\f");
    QTest::newRow("spaces inside a line kept") << QByteArray("  a  b  \n") << QByteArray("  a  b  \n\f");
    QTest::newRow("UTF-8 untouched") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                   "e\n")
                                     << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                                   "e\n\f");
}

void TestOcrRules::pageText()
{
    QFETCH(QByteArray, recognised);
    QFETCH(QByteArray, page);
    const std::string text =
        PageTextFromRecognised(std::string_view(recognised.constData(), std::size_t(recognised.size())));
    QCOMPARE(QByteArray::fromStdString(text), page);
}

namespace {

// Words as "text:confidence", a "|" before a word that starts a line, "||" before one
// that starts a paragraph.
std::vector<PageWord> pageWords(const QByteArrayList &listed)
{
    std::vector<PageWord> words;
    for (QByteArray word : listed) {
        PageWord made;
        made.startsParagraph = word.startsWith("||");
        made.startsLine = word.startsWith('|');
        while (word.startsWith('|'))
            word.remove(0, 1);
        const qsizetype colon = word.lastIndexOf(':');
        made.text = word.first(colon).toStdString();
        made.confidence = word.sliced(colon + 1).toFloat();
        words.push_back(made);
    }
    return words;
}

} // namespace

void TestOcrRules::pageTextOfWords_data()
{
    QTest::addColumn<QByteArrayList>("words");
    QTest::addColumn<QByteArray>("replaced"); // "index=text", empty: none
    QTest::addColumn<QByteArray>("text");     // with a threshold of 50
    QTest::newRow("nothing") << QByteArrayList() << QByteArray() << QByteArray();
    QTest::newRow("lines and paragraphs")
        << QByteArrayList{"Title:90", "||Mail:91", "a@b.cd:50", "|next:80", "||last:70"} << QByteArray()
        << QByteArray("Title\n\nMail a@b.cd\nnext\n\nlast\n");
    QTest::newRow("an unsure word is blanked by its bytes")
        << QByteArrayList{"Mail:91", "mai11@b.cd:49.5",
                          "Gr\xc3\xbc\xc3\x9f"
                          "e:3",
                          "now:88"}
        << QByteArray() << QByteArray("Mail                    now\n");
    QTest::newRow("a replaced word, sure or not")
        << QByteArrayList{"to:90", "x@y.zz:10", "now:90"} << QByteArray("1=john@example.com")
        << QByteArray("to john@example.com now\n");
    QTest::newRow("a word left out") << QByteArrayList{"name@:90", "|example.com:90", "ok:90"}
                                     << QByteArray("1=") << QByteArray("name@\n ok\n");
}

void TestOcrRules::pageTextOfWords()
{
    QFETCH(QByteArrayList, words);
    QFETCH(QByteArray, replaced);
    QFETCH(QByteArray, text);
    std::map<std::size_t, std::string> replacements;
    if (!replaced.isEmpty()) {
        const qsizetype equals = replaced.indexOf('=');
        replacements[replaced.first(equals).toULongLong()] = replaced.sliced(equals + 1).toStdString();
    }
    QCOMPARE(QByteArray::fromStdString(PageTextOfWords(pageWords(words), 50, replacements)), text);
}

void TestOcrRules::addressPieces_data()
{
    // Words as "text@left,top,right,bottom"; one line of print 20 pixels high, x-height 20.
    QTest::addColumn<QByteArrayList>("words");
    QTest::addColumn<QList<QList<int>>>("pieces"); // the words of each piece, left to right
    QTest::newRow("no at-sign") << QByteArrayList{"mail.example.com,0,0,140,20"} << QList<QList<int>>();
    QTest::newRow("an address alone")
        << QByteArrayList{"to,0,0,20,20", "a@b.cd,30,0,90,20", "now,100,0,140,20"} << QList<QList<int>>{{1}};
    QTest::newRow("split at the at-sign, wide")
        << QByteArrayList{"name,0,0,40,20", "@example.com,65,0,170,20"} << QList<QList<int>>{{0, 1}};
    QTest::newRow("split after a dot, on a line of its own")
        << QByteArrayList{"x@mail.,0,0,60,20", "example.com,85,2,170,22"} << QList<QList<int>>{{0, 1}};
    QTest::newRow("a wide dot read as a hyphen")
        << QByteArrayList{"<adiel@inf,0,0,100,20", "-ufsc.br>,120,0,200,20"} << QList<QList<int>>{{0, 1}};
    QTest::newRow("a word close by") << QByteArrayList{"okafor5,0,0,60,20", "1@stone.uk,68,0,150,20"}
                                     << QList<QList<int>>{{0, 1}};
    QTest::newRow("an ordinary space apart")
        << QByteArrayList{"write,0,0,50,20", "a@b.cd,62,0,120,20"} << QList<QList<int>>{{1}};
    QTest::newRow("too far even beside an at-sign")
        << QByteArrayList{"name,0,0,40,20", "@example.com,75,0,170,20"} << QList<QList<int>>{{1}};
    QTest::newRow("the line below is another")
        << QByteArrayList{"a@b.cd,0,0,60,20", ".uk,62,40,90,60"} << QList<QList<int>>{{0}};
    QTest::newRow("an at-sign read as Q")
        << QByteArrayList{"(krisroseQtug.org),0,0,160,20", "Queen,170,0,220,20"} << QList<QList<int>>{{0}};
    QTest::newRow("a Q that is a Q") << QByteArrayList{"IQtest.org,0,0,90,20", "faqQuick,100,0,180,20"}
                                     << QList<QList<int>>();
    QTest::newRow("two addresses") << QByteArrayList{"a@b.cd,0,0,60,20", "and,75,0,100,20",
                                                     "c@d.ef,115,0,175,20"}
                                   << QList<QList<int>>{{0}, {2}};
}

void TestOcrRules::addressPieces()
{
    QFETCH(QByteArrayList, words);
    QFETCH(QList<QList<int>>, pieces);
    std::vector<PageWord> listed;
    for (const QByteArray &word : words) {
        const QByteArrayList parts = word.split(',');
        PageWord made;
        made.text = parts.value(0).toStdString();
        made.box = {parts.value(1).toInt(), parts.value(2).toInt(), parts.value(3).toInt(),
                    parts.value(4).toInt()};
        listed.push_back(made);
    }
    LineShape line;
    line.xHeight = 20;
    QList<QList<int>> found;
    for (const AddressPiece &piece : FindAddressPieces(listed, {line})) {
        QList<int> indexes;
        for (const std::size_t i : piece.words)
            indexes << int(i);
        found << indexes;
    }
    QCOMPARE(found, pieces);
}

void TestOcrRules::vote_data()
{
    // Readings as "text" or "text/x-height/h,h,h..." (a height per byte, 0 unknown); the
    // rule wants three readings in five to agree.
    QTest::addColumn<QByteArrayList>("readings");
    QTest::addColumn<QByteArray>("text");
    // "!" before one that is unsure, "|" before each alternative reading of it.
    QTest::addColumn<QByteArrayList>("addresses");
    QTest::newRow("all agree") << QByteArrayList{"mail ab@b.cd,", "mail ab@b.cd,", "mail ab@b.cd,"}
                               << QByteArray("mail ab@b.cd,") << QByteArrayList{"ab@b.cd"};
    QTest::newRow("a one-letter name") << QByteArrayList{"mail a@b.cd,", "mail a@b.cd,"}
                                       << QByteArray("mail       ,") << QByteArrayList{"!a@b.cd"};
    QTest::newRow("spaces beside the at-sign closed") << QByteArrayList{"ab @b.cd", "ab@ b.cd", "ab @ b.cd"}
                                                      << QByteArray("ab@b.cd") << QByteArrayList{"ab@b.cd"};
    const QByteArray mail1 = "to mail1@b.cd";
    QTest::newRow("one reading in five differs: the others win")
        << QByteArrayList{mail1, mail1, mail1, "to mait1@b.cd", mail1} << mail1
        << QByteArrayList{"mail1@b.cd"};
    QTest::newRow("two readings in five differ: unsure and blanked")
        << QByteArrayList{mail1, mail1, "to mait1@b.cd", mail1, "to maiI1@b.cd"}
        << QByteArray("to           ") << QByteArrayList{"!mail1@b.cd|mait1@b.cd|maiI1@b.cd"};
    QTest::newRow("one reading in five has a look-alike: unsure")
        << QByteArrayList{mail1, mail1, mail1, "to maill@b.cd", mail1} << QByteArray("to           ")
        << QByteArrayList{"!mail1@b.cd|maill@b.cd"};
    QTest::newRow("a reading that adds a letter")
        << QByteArrayList{"a@b.cd", "ax@b.cd"} << QByteArray("      ") << QByteArrayList{"!a@b.cd|ax@b.cd"};
    QTest::newRow("a space not all readings have")
        << QByteArrayList{"okafor5 1@b.cd", "okafor5 1@b.cd", "okafor51@b.cd"} << QByteArray("okafor5       ")
        << QByteArrayList{"!1@b.cd|okafor51@b.cd"};
    QTest::newRow("a lone capital I") << QByteArrayList{"Info@b.cd", "Info@b.cd"} << QByteArray("         ")
                                      << QByteArrayList{"!Info@b.cd"};
    QTest::newRow("a capital I among capitals")
        << QByteArrayList{"Ida.Berg@b.cd", "Ida.Berg@b.cd"} << QByteArray("Ida.Berg@b.cd")
        << QByteArrayList{"Ida.Berg@b.cd"};
    QTest::newRow("a name after a word, led by a digit")
        << QByteArrayList{"col1 1ns@b.cd", "col1 1ns@b.cd"} << QByteArray("col1         ")
        << QByteArrayList{"!1ns@b.cd"};
    QTest::newRow("a name after a word") << QByteArrayList{"to john@b.cd", "to john@b.cd"}
                                         << QByteArray("to john@b.cd") << QByteArrayList{"john@b.cd"};
    QTest::newRow("a mark before the name goes") << QByteArrayList{"Tjan@b.cd", "Tjan@b.cd", "'jan@b.cd"}
                                                 << QByteArray(" jan@b.cd") << QByteArrayList{"jan@b.cd"};
    const QByteArray rolf = "Rolf@b.cd";
    QTest::newRow("a mark some readings left out goes")
        << QByteArrayList{"tRolf@b.cd", "?Rolf@b.cd", rolf, rolf, rolf} << QByteArray("Rolf@b.cd")
        << QByteArrayList{"Rolf@b.cd"};
    QTest::newRow("a letter some readings left out stays in doubt")
        << QByteArrayList{"tRolf@b.cd", "tRolf@b.cd", rolf, rolf, rolf} << QByteArray("         ")
        << QByteArrayList{"!Rolf@b.cd|tRolf@b.cd"};
    const QByteArray tadrian = "Tadrian@b.cd", sven = "Sven@b.cd";
    QTest::newRow("a letter read in both cases")
        << QByteArrayList{tadrian, tadrian, tadrian, "tadrian@b.cd", tadrian} << QByteArray("            ")
        << QByteArrayList{"!Tadrian@b.cd|tadrian@b.cd"};
    QTest::newRow("a letter whose cases look alike")
        << QByteArrayList{sven, sven, sven, "sven@b.cd", sven} << sven << QByteArrayList{"Sven@b.cd"};
    QTest::newRow("an at-sign read as Q")
        << QByteArrayList{"krisroseQtug.org", "krisroseQtug.org", "krisrose@tug.org"}
        << QByteArray("krisrose@tug.org") << QByteArrayList{"krisrose@tug.org"};
    QTest::newRow("an at-sign read as Q and itself")
        << QByteArrayList{"rstepanyanQ@b.cd", "rstepanyanQ@b.cd"} << QByteArray("rstepanyan@b.cd")
        << QByteArrayList{"rstepanyan@b.cd"};
    QTest::newRow("a name after a stop and a space")
        << QByteArrayList{"j. tkadlec@b.cd", "j. tkadlec@b.cd"} << QByteArray("j.             ")
        << QByteArrayList{"!tkadlec@b.cd"};
    QTest::newRow("wide dots closed")
        << QByteArrayList{"rdt@cs .queensu.ca", "rdt@cs. queensu.ca"} << QByteArray("rdt@cs.queensu.ca")
        << QByteArrayList{"rdt@cs.queensu.ca"};
    // Read by the rules of a page's text: a route's "%" and a "#" are parts of the address.
    QTest::newRow("a mail route and a ticket")
        << QByteArrayList{"myself%node@b.cd ref#4711@b.cd", "myself%node@b.cd ref#4711@b.cd"}
        << QByteArray("myself%node@b.cd ref#4711@b.cd")
        << QByteArrayList{"myself%node@b.cd", "ref#4711@b.cd"};
    // A typewriter's "%" read as "{" or "|" by most: the tail they give may not stand for it.
    QTest::newRow("a route's mark read as one that ends words")
        << QByteArrayList{"myself{node@b.cd", "myself|node@b.cd", "myself%node@b.cd", "myself{node@b.cd",
                          "myself|node@b.cd"}
        << QByteArray("myself{         ") << QByteArrayList{"!node@b.cd|myself%node@b.cd"};
    // As a page's text cuts them: the route's "%" ends the word after a space.
    QTest::newRow("a route's tail after a space")
        << QByteArrayList{"see %node@b.cd", "see %node@b.cd"} << QByteArray("see %         ")
        << QByteArrayList{"!node@b.cd"};
    QTest::newRow("a route's first part split by a misread space")
        << QByteArrayList{"to mysel f%node@b.cd", "to mysel f%node@b.cd"}
        << QByteArray("to mysel ") + QByteArray(11, ' ') << QByteArrayList{"!f%node@b.cd"};
    QTest::newRow("a route split after one letter")
        << QByteArrayList{"{m yself%node@b.cd}", "{m yself%node@b.cd}"}
        << QByteArray("{m ") + QByteArray(15, ' ') + "}" << QByteArrayList{"!yself%node@b.cd"};
    QTest::newRow("empty readings do not vote")
        << QByteArrayList{"ab@b.cd", "", "ab@b.cd"} << QByteArray("ab@b.cd") << QByteArrayList{"ab@b.cd"};
    QTest::newRow("the vote makes no address, a reading does")
        << QByteArrayList{"a@b.cd", "a b.cd", "a b.cd"} << QByteArray("a b.cd") << QByteArrayList{"!a@b.cd"};
    QTest::newRow("no address") << QByteArrayList{"Tel. 5", "Tel. 5"} << QByteArray("Tel. 5")
                                << QByteArrayList();
    // "x0@b.cd" and "xo@b.cd": the glyph is as high as the small letters, so it is an o.
    QTest::newRow("o or zero: small glyph")
        << QByteArrayList{"x0@b.cd/20/20,21,0,0,0,0,0", "xo@b.cd/20/20,21,0,0,0,0,0", "xo@b.cd"}
        << QByteArray("xo@b.cd") << QByteArrayList{"xo@b.cd"};
    QTest::newRow("o or zero: tall glyph")
        << QByteArrayList{"x0@b.cd/20/20,29,0,0,0,0,0", "xo@b.cd/20/20,28,0,0,0,0,0", "xo@b.cd"}
        << QByteArray("x0@b.cd") << QByteArrayList{"x0@b.cd"};
    QTest::newRow("o or zero: the heights disagree")
        << QByteArrayList{"x0@b.cd/20/20,29,0,0,0,0,0", "xo@b.cd/20/20,20,0,0,0,0,0", "x0@b.cd"}
        << QByteArray("       ") << QByteArrayList{"!x0@b.cd|xo@b.cd"};
    QTest::newRow("a box that missed the glyph is no measure")
        << QByteArrayList{"x0@b.cd/20/20,3,0,0,0,0,0", "xo@b.cd/20/20,29,0,0,0,0,0"} << QByteArray("x0@b.cd")
        << QByteArrayList{"x0@b.cd"};
    QTest::newRow("all read a zero as high as an o")
        << QByteArrayList{"x0@b.cd/20/20,20,0,0,0,0,0", "x0@b.cd/20/20,21,0,0,0,0,0"} << QByteArray("       ")
        << QByteArrayList{"!x0@b.cd"};
}

void TestOcrRules::vote()
{
    QFETCH(QByteArrayList, readings);
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, addresses);
    const auto [voted, found] = voteOn(readings, {});
    QCOMPARE(voted, text);
    QCOMPARE(found, addresses);
}

void TestOcrRules::voteByTheRunsRules_data()
{
    // As vote_data, by the rules of a run that takes any domain or leaves one out.
    QTest::addColumn<QByteArrayList>("readings");
    QTest::addColumn<AddressRules>("rules");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("addresses");
    AddressRules anyDomain;
    anyDomain.on &= ~pelmora::AddressRuleSet(AddressRule::KnownDomains | AddressRule::BracketArtefacts);
    AddressRules withoutExample;
    withoutExample.domains.exclude(QStringLiteral("example.com"));
    const QByteArrayList atAsQ{"krisroseQtug.zz", "krisroseQtug.zz", "krisrose@tug.zz"};
    QTest::newRow("an at-sign read as Q, any domain")
        << atAsQ << anyDomain << QByteArray("krisrose@tug.zz") << QByteArrayList{"krisrose@tug.zz"};
    QTest::newRow("an at-sign read as Q, no known domain")
        << atAsQ << AddressRules() << QByteArray("krisroseQtug.zz") << QByteArrayList();
    const QByteArray mail1 = "to mail1@b.zz";
    QTest::newRow("readings that disagree, any domain")
        << QByteArrayList{mail1, mail1, "to mait1@b.zz", mail1, "to maiI1@b.zz"} << anyDomain
        << QByteArray("to           ") << QByteArrayList{"!mail1@b.zz|mait1@b.zz|maiI1@b.zz"};
    QTest::newRow("readings that disagree, a domain left out")
        << QByteArrayList{"to mail1@example.com", "to mait1@example.com"} << withoutExample
        << QByteArray("to mail1@example.com") << QByteArrayList();
}

void TestOcrRules::voteByTheRunsRules()
{
    QFETCH(QByteArrayList, readings);
    QFETCH(AddressRules, rules);
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, addresses);
    const auto [voted, found] = voteOn(readings, rules);
    QCOMPARE(voted, text);
    QCOMPARE(found, addresses);
    // The page's word is read again only where its Q makes an address by the same rules.
    PageWord word;
    word.text = readings.first().toStdString();
    word.box = {0, 0, 160, 20};
    LineShape line;
    line.xHeight = 20;
    const bool piece = word.text.find('@') != std::string::npos || text.contains('@');
    QCOMPARE(FindAddressPieces({word}, {line}, rules).size(), std::size_t(piece));
}

QTEST_GUILESS_MAIN(TestOcrRules)
#include "tst_ocrrules.moc"
