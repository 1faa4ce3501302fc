#include "worker/shell/DocumentMetadata.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::worker {

namespace {

// An XMP packet is a few kilobytes; one larger than this is no metadata anyone reads.
constexpr std::size_t kLongestXmp = 16u * 1024u * 1024u;

constexpr std::array<std::string_view, 4> kFirstInformation{"Title", "Author", "Subject", "Keywords"};
constexpr std::array<std::string_view, 2> kToolInformation{"Producer", "Creator"};

const auto kRdf = u"http://www.w3.org/1999/02/22-rdf-syntax-ns#"_s;
const auto kXmlNamespace = u"http://www.w3.org/XML/1998/namespace"_s;

// The XMP properties (namespace, name) that name the tool.
bool namesTool(QStringView space, QStringView name)
{
    return (space == u"http://ns.adobe.com/xap/1.0/" && name == u"CreatorTool") ||
           (space == u"http://ns.adobe.com/pdf/1.3/" && name == u"Producer") ||
           (space == u"adobe:ns:meta/" && name == u"xmptk") ||
           (space == u"http://ns.adobe.com/xap/1.0/sType/ResourceEvent#" && name == u"softwareAgent");
}

bool isMarkupAttribute(const QXmlStreamAttribute &attribute)
{
    return attribute.namespaceUri() == kRdf || attribute.namespaceUri() == kXmlNamespace ||
           attribute.namespaceUri().isEmpty();
}

void addLine(std::string &text, const QString &line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return;
    if (!text.empty())
        text += '\n';
    text += trimmed.toStdString();
}

// Reads an XMP packet property by property: each child of an rdf:Description, and each of
// its attributes, is a field; what a property holds (the items of a list, the parts of a
// structure) is its text, a line each.
class XmpReader
{
public:
    explicit XmpReader(std::string_view xml)
        : m_reader(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())))
    {
    }

    std::vector<MetadataField> read()
    {
        while (!m_reader.atEnd()) {
            switch (m_reader.readNext()) {
            case QXmlStreamReader::StartElement:
                start();
                break;
            case QXmlStreamReader::EndElement:
                end();
                break;
            case QXmlStreamReader::Characters:
                if (m_property >= 0 && m_toolFrom < 0)
                    addLine(m_text, m_reader.text().toString());
                break;
            default:
                break;
            }
        }
        return m_reader.hasError() ? std::vector<MetadataField>() : m_fields;
    }

private:
    void start()
    {
        ++m_depth;
        const bool tool = namesTool(m_reader.namespaceUri(), m_reader.name());
        const bool description = m_reader.namespaceUri() == kRdf && m_reader.name() == u"Description";
        if (m_property < 0 && description) {
            m_description = m_depth;
            for (const QXmlStreamAttribute &attribute : m_reader.attributes()) {
                if (!isMarkupAttribute(attribute) && !namesTool(attribute.namespaceUri(), attribute.name()))
                    add(attribute.qualifiedName().toString().toStdString(), attribute.value().toString());
            }
            return;
        }
        if (m_property < 0 && m_description > 0 && m_depth == m_description + 1) {
            m_property = m_depth;
            m_name = m_reader.qualifiedName().toString().toStdString();
            m_text.clear();
        }
        if (tool && m_toolFrom < 0)
            m_toolFrom = m_depth;
        if (m_property >= 0 && m_toolFrom < 0) {
            for (const QXmlStreamAttribute &attribute : m_reader.attributes()) {
                if (!isMarkupAttribute(attribute) && !namesTool(attribute.namespaceUri(), attribute.name()))
                    addLine(m_text, attribute.value().toString());
            }
        }
    }

    void end()
    {
        if (m_depth == m_toolFrom)
            m_toolFrom = -1;
        if (m_depth == m_property) {
            m_property = -1;
            if (!m_text.empty())
                m_fields.push_back({m_name, m_text});
        }
        if (m_depth == m_description)
            m_description = -1;
        --m_depth;
    }

    void add(std::string name, const QString &value)
    {
        std::string text;
        addLine(text, value);
        if (!text.empty())
            m_fields.push_back({std::move(name), std::move(text)});
    }

    QXmlStreamReader m_reader;
    std::vector<MetadataField> m_fields;
    int m_depth = 0;
    int m_description = -1; // the depth of the rdf:Description being read
    int m_property = -1;    // the depth of the property being read
    int m_toolFrom = -1;    // the depth of the tool's property being passed over
    std::string m_name;
    std::string m_text;
};

std::vector<MetadataField> informationFields(const PdfObject &info)
{
    std::vector<std::string> keys = info.keys();
    const auto rank = [](const std::string &key) {
        return std::find(kFirstInformation.begin(), kFirstInformation.end(), key) - kFirstInformation.begin();
    };
    std::sort(keys.begin(), keys.end(), [&](const std::string &a, const std::string &b) {
        return std::pair(rank(a), a) < std::pair(rank(b), b);
    });
    std::vector<MetadataField> fields;
    for (const std::string &key : keys) {
        if (std::find(kToolInformation.begin(), kToolInformation.end(), key) != kToolInformation.end())
            continue;
        std::string text;
        addLine(text, QString::fromStdString(TextOf(info.get(key))));
        if (!text.empty())
            fields.push_back({key, text});
    }
    return fields;
}

} // namespace

std::vector<MetadataField> XmpFields(std::string_view xml)
{
    return XmpReader(xml).read();
}

std::vector<MetadataField> MetadataOf(const PdfObject &trailer)
{
    std::vector<MetadataField> fields = informationFields(trailer.get("Info"));
    const PdfObject xmp = trailer.get("Root").get("Metadata");
    if (xmp.isStream()) {
        const StreamData data = xmp.data(kLongestXmp);
        for (MetadataField &field : XmpFields(data.bytes)) {
            const bool known = std::any_of(fields.begin(), fields.end(), [&](const MetadataField &each) {
                return each.text == field.text;
            });
            if (!known)
                fields.push_back(std::move(field));
        }
    }
    return fields;
}

} // namespace pelmora::worker
