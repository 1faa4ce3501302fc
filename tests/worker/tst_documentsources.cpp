// What a reader opens besides the pages' text, read from PDF objects made in the test: the
// notes a page shows, the metadata a viewer lists, the attached files and their bounds.
#include "worker/shell/AttachedFiles.h"
#include "worker/shell/DocumentMetadata.h"
#include "worker/shell/DocumentSources.h"
#include "worker/shell/PageNotes.h"

#include "FakePdfObject.h"

#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <map>

using namespace pelmora;
using namespace pelmora::test;
using namespace Qt::Literals::StringLiterals;
using protocol::SourceKind;
using worker::PageNote;
using worker::PdfObject;

Q_DECLARE_METATYPE(std::vector<PdfObject>)
Q_DECLARE_METATYPE(std::vector<PageNote>)

namespace {

PdfObject annotation(const std::string &subtype, Entries more = {})
{
    more.emplace_back("Subtype", Name(subtype));
    return Dict(std::move(more));
}

// Documents by their bytes, each a trailer whose embedded files are the given ones.
class AttachingEngine : public worker::TextEngine
{
public:
    std::map<std::string, PdfObject> trailers;

    worker::OpenResult open(const std::string &, const std::vector<std::string> &) override { return {}; }
    worker::OpenResult openAttached(std::string bytes, const std::vector<std::string> &) override
    {
        worker::OpenResult result;
        result.outcome = protocol::Outcome::Text;
        result.document = std::make_unique<Document>(trailers[bytes]);
        return result;
    }

    class Document : public worker::TextDocument
    {
    public:
        explicit Document(PdfObject trailer) : m_trailer(std::move(trailer)) {}
        int pageCount() override { return 0; }
        void convert(worker::PageRange, const worker::ConvertOptions &, worker::PageSink &) override {}
        PdfObject trailer() override { return m_trailer; }
        PdfObject pageObject(int) override { return {}; }

    private:
        PdfObject m_trailer;
    };
};

// A trailer whose document embeds these files (name, bytes).
PdfObject embedding(const std::vector<std::pair<std::string, std::string>> &files)
{
    std::vector<PdfObject> names;
    for (const auto &[name, bytes] : files) {
        names.push_back(Str(name));
        names.push_back(Dict({{"EF", Dict({{"F", Stream(bytes)}})}}));
    }
    return Dict({{"Root", Dict({{"Names", Dict({{"EmbeddedFiles", Dict({{"Names", Array(names)}})}})}})}});
}

// The 'X' and 'K' frames a document's sources give, a line each.
class SourceLines : public worker::PageSink
{
public:
    QStringList lines;
    bool take(const protocol::PageEvent &event) override
    {
        const QString inside = QString::fromUtf8(event.inside.data(), qsizetype(event.inside.size()));
        const QString bytes = QString::fromUtf8(event.bytes.data(), qsizetype(event.bytes.size()));
        lines.append((event.type == protocol::FrameType::NotRead ? u"K "_s : u"X "_s) + inside + u": "_s +
                     bytes.trimmed());
        return true;
    }
};

} // namespace

class TestDocumentSources : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void notesOfAPage_data();
    void notesOfAPage();
    void richTextIsReadAsPlainText();
    void metadataLeavesOutTheTools();
    void attachedFilesByContent_data();
    void attachedFilesByContent();
    void attachedFilesAreBounded_data();
    void attachedFilesAreBounded();
};

void TestDocumentSources::notesOfAPage_data()
{
    QTest::addColumn<std::vector<PdfObject>>("annotations");
    QTest::addColumn<std::vector<PageNote>>("notes");
    const PdfObject sticky = annotation("Text", {{"T", Str("Ann")}, {"Contents", Str("a@b.cd")}});
    QTest::newRow("a sticky note and its pop-up, read once")
        << std::vector{sticky, annotation("Popup", {{"Parent", sticky}, {"Contents", Str("a@b.cd")}})}
        << std::vector{PageNote{SourceKind::Annotation, false, "Ann\na@b.cd"}};
    QTest::newRow("a pop-up of no annotation")
        << std::vector{annotation("Popup", {{"Contents", Str("p@b.cd")}})}
        << std::vector{PageNote{SourceKind::Annotation, false, "p@b.cd"}};
    QTest::newRow("free text shows itself")
        << std::vector{annotation("FreeText", {{"Contents", Str("f@b.cd")}})}
        << std::vector{PageNote{SourceKind::Annotation, true, "f@b.cd"}};
    QTest::newRow("hidden, a link, a movie: none")
        << std::vector{annotation("Text", {{"F", Int(2)}, {"Contents", Str("h@b.cd")}}),
                       annotation("Link", {{"Contents", Str("l@b.cd")}}),
                       annotation("Movie", {{"Contents", Str("m@b.cd")}})}
        << std::vector<PageNote>();
    const PdfObject field = Dict({{"FT", Name("Tx")}, {"V", Str("v@b.cd")}});
    QTest::newRow("a widget's value, inherited from its field")
        << std::vector{annotation("Widget", {{"Parent", field}})}
        << std::vector{PageNote{SourceKind::Form, true, "v@b.cd"}};
    QTest::newRow("a password field shows dots")
        << std::vector{annotation("Widget", {{"FT", Name("Tx")}, {"Ff", Int(1 << 13)}, {"V", Str("s@b.cd")}})}
        << std::vector<PageNote>();
    QTest::newRow("a list's chosen values, a button's none")
        << std::vector{annotation("Widget",
                                  {{"FT", Name("Ch")}, {"V", Array({Str("x@b.cd"), Str("y@b.cd")})}}),
                       annotation("Widget", {{"FT", Name("Btn")}, {"V", Name("Yes")}})}
        << std::vector{PageNote{SourceKind::Form, true, "x@b.cd\ny@b.cd"}};
    QTest::newRow("UTF-16 text") << std::vector{annotation(
                                        "Square", {{"Contents", Str(std::string("\xFE\xFF\0J\0\xF6", 6))}})}
                                 << std::vector{PageNote{SourceKind::Annotation, false, "J\xC3\xB6"}};
}

void TestDocumentSources::notesOfAPage()
{
    QFETCH(std::vector<PdfObject>, annotations);
    QFETCH(std::vector<PageNote>, notes);
    QVERIFY(worker::NotesOf(annotations) == notes);
}

void TestDocumentSources::richTextIsReadAsPlainText()
{
    const std::vector<PdfObject> rich{annotation(
        "Highlight",
        {{"Contents", Str("short")},
         {"RC",
          Str(R"(<body xmlns="http://www.w3.org/1999/xhtml"><p>One <b>r@b.cd</b></p><p>two</p></body>)")}})};
    QVERIFY(
        (worker::NotesOf(rich) == std::vector{PageNote{SourceKind::Annotation, false, "One r@b.cd\ntwo"}}));
    // Rich text that is no XML leaves the plain text.
    const std::vector<PdfObject> broken{
        annotation("Text", {{"Contents", Str("c@b.cd")}, {"RC", Str("<p>x")}})};
    QVERIFY((worker::NotesOf(broken) == std::vector{PageNote{SourceKind::Annotation, false, "c@b.cd"}}));
}

void TestDocumentSources::metadataLeavesOutTheTools()
{
    const std::string xmp = R"(<x:xmpmeta xmlns:x="adobe:ns:meta/" x:xmptk="kit@tool.com">
<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description
 xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:xmp="http://ns.adobe.com/xap/1.0/"
 xmp:CreatorTool="t@tool.com"><dc:creator><rdf:Seq><rdf:li>Ann a@b.cd</rdf:li>
</rdf:Seq></dc:creator><dc:rights>Bo b@b.cd</dc:rights></rdf:Description></rdf:RDF></x:xmpmeta>)";
    const PdfObject trailer = Dict({{"Info", Dict({{"Producer", Str("p@tool.com")},
                                                   {"Creator", Str("c@tool.com")},
                                                   {"Keywords", Str("k@b.cd")},
                                                   {"Author", Str("Ann a@b.cd")}})},
                                    {"Root", Dict({{"Metadata", Stream(xmp)}})}});
    const std::vector<worker::MetadataField> fields = worker::MetadataOf(trailer);
    QStringList got;
    for (const worker::MetadataField &field : fields)
        got.append(QString::fromStdString(field.name + ": " + field.text));
    // The author again in XMP is left out; the tools' fields are no one's.
    QCOMPARE(got, (QStringList{u"Author: Ann a@b.cd"_s, u"Keywords: k@b.cd"_s, u"dc:rights: Bo b@b.cd"_s}));
}

void TestDocumentSources::attachedFilesByContent_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    using Kind = worker::AttachedContent::Kind;
    QTest::newRow("a PDF, whatever its name")
        << QByteArray("a.txt") << QByteArray("%PDF-1.4\n") << int(Kind::Pdf) << QString();
    QTest::newRow("a JPEG picture") << QByteArray("p.txt") << QByteArray("\xFF\xD8\xFF\xE0 a@b.cd")
                                    << int(Kind::Other) << QString();
    QTest::newRow("Latin-1 text") << QByteArray("t.txt") << QByteArray("J\xF6rg j@b.cd\n") << int(Kind::Text)
                                  << u"J\u00f6rg j@b.cd\n"_s;
    QTest::newRow("UTF-16 vCard with its mark") << QByteArray("c.vcf")
                                                << QByteArray("\xFF\xFE"
                                                              "E\0:\0v\0@\0b\0.\0c\0d\0",
                                                              18)
                                                << int(Kind::Text) << u"E:v@b.cd"_s;
    QTest::newRow("bytes of no text")
        << QByteArray("x.bin") << QByteArray("\x01\x02\x03\x04\x05\x06 a@b.cd", 13) << int(Kind::Other)
        << QString();
}

void TestDocumentSources::attachedFilesByContent()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QFETCH(QString, text);
    const worker::AttachedContent content = worker::ClassifyAttached(
        name.toStdString(), {}, std::string_view(bytes.data(), std::size_t(bytes.size())));
    QCOMPARE(int(content.kind), kind);
    QCOMPARE(QString::fromStdString(content.text), text);
    QCOMPARE(content.what.empty(), kind != int(worker::AttachedContent::Kind::Other));
}

void TestDocumentSources::attachedFilesAreBounded_data()
{
    QTest::addColumn<int>("case_");
    QTest::addColumn<QStringList>("lines");
    const QString sep = u" \u00bb "_s;
    QTest::newRow("nested, as deep as it goes")
        << 0 << QStringList{u"X a.pdf"_s + sep + u"n.txt: n@b.cd"_s, u"X t.txt: t@b.cd"_s};
    QTest::newRow("a loop of two, named")
        << 1
        << QStringList{u"K a.pdf"_s + sep + u"b.pdf"_s + sep +
                       u"a.pdf: it is a file it is attached to, a loop of attachments: not followed"_s};
    QTest::newRow("the file attached to itself")
        << 2
        << QStringList{u"K self.pdf: it is a file it is attached to, a "
                       u"loop of attachments: not followed"_s};
    QTest::newRow("a bomb, named") << 3
                                   << QStringList{u"K big.txt: it unpacks to more than 0 MB: not followed"_s};
    QTest::newRow("too deep, too many")
        << 4
        << QStringList{u"K a.pdf"_s + sep + u"n.txt: attached more than 1 levels deep: not read"_s,
                       u"X t.txt: t@b.cd"_s,
                       u"K u.txt: more than 2 attached files: this one and the rest were not read"_s};
}

// case_ 0: a.pdf holds n.txt, beside t.txt; 1: a.pdf holds b.pdf holds a.pdf; 2: the
// file holds itself; 3: a text past the bound; 4: case 0 with one level and two files.
void TestDocumentSources::attachedFilesAreBounded()
{
    QFETCH(int, case_);
    QFETCH(QStringList, lines);
    QTemporaryDir dir;
    const std::string self = dir.filePath(u"self.pdf"_s).toStdString();
    std::ofstream(self) << "%PDF-self";
    AttachingEngine engine;
    engine.trailers["%PDF-a"] = embedding({{"n.txt", "n@b.cd\n"}});
    engine.trailers["%PDF-loop-a"] = embedding({{"b.pdf", "%PDF-loop-b"}});
    engine.trailers["%PDF-loop-b"] = embedding({{"a.pdf", "%PDF-loop-a"}});
    const std::vector<PdfObject> trailers{
        embedding({{"a.pdf", "%PDF-a"}, {"t.txt", "t@b.cd\n"}}), embedding({{"a.pdf", "%PDF-loop-a"}}),
        embedding({{"self.pdf", "%PDF-self"}}), embedding({{"big.txt", std::string(100, 'x')}}),
        embedding({{"a.pdf", "%PDF-a"}, {"t.txt", "t@b.cd\n"}, {"u.txt", "u@b.cd\n"}})};
    worker::SourceRequest request;
    request.attachments = true;
    request.path = self;
    if (case_ == 3)
        request.limits.largestFile = 64;
    if (case_ == 4) {
        request.limits.deepest = 1;
        request.limits.mostFiles = 2;
    }
    AttachingEngine::Document top(trailers[std::size_t(case_)]);
    SourceLines sink;
    QVERIFY(worker::SendDocumentSources(top, engine, request, sink));
    QCOMPARE(sink.lines, lines);
}

QTEST_GUILESS_MAIN(TestDocumentSources)
#include "tst_documentsources.moc"
