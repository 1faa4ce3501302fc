#include "worker/shell/DocumentSources.h"

#include "worker/shell/AttachedFiles.h"
#include "worker/shell/DocumentMetadata.h"

#include <QCryptographicHash>
#include <algorithm>
#include <filesystem>
#include <fstream>

namespace pelmora::worker {

namespace {

using protocol::PageEvent;
using protocol::SourceKind;

QByteArray digestOf(std::string_view bytes)
{
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256);
}

std::string megabytes(std::size_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

// Sends `text` in pieces of at most `largest` bytes, each cut after a line end where one
// is near, so that no address is cut in two.
bool sendPieces(PageSink &sink, std::string_view inside, int page, std::string_view text, std::size_t largest)
{
    while (!text.empty()) {
        std::size_t length = std::min(text.size(), largest);
        if (length < text.size()) {
            const std::size_t lineEnd = text.rfind('\n', length - 1);
            if (lineEnd != std::string_view::npos && lineEnd > length / 2)
                length = lineEnd + 1;
        }
        if (!sink.take(PageEvent::extra(inside, page, SourceKind::Text, false, {}, text.substr(0, length))))
            return false;
        text.remove_prefix(length);
    }
    return true;
}

// An attached PDF's pages as 'X' frames of its path: a page's text whole, then its links
// and notes; what was left out of a page is named.
class AttachedPageSink : public PageSink
{
public:
    AttachedPageSink(PageSink &out, std::string inside, std::size_t largestPiece)
        : m_out(out), m_inside(std::move(inside)), m_largestPiece(largestPiece)
    {
    }

    // Whether the sink it passes to said stop.
    bool stopped() const { return m_stopped; }

    bool take(const PageEvent &event) override
    {
        m_stopped = !pass(event);
        return !m_stopped;
    }

private:
    bool pass(const PageEvent &event)
    {
        switch (event.type) {
        case protocol::FrameType::Text:
            m_text += event.bytes;
            return m_text.size() < m_largestPiece || flush(event.page);
        case protocol::FrameType::Link:
            return flush(event.page) && m_out.take(PageEvent::extra(m_inside, event.page, SourceKind::Link,
                                                                    false, {}, event.bytes));
        case protocol::FrameType::Note:
            return flush(event.page) && m_out.take(PageEvent::extra(m_inside, event.page, event.kind,
                                                                    event.shown, {}, event.bytes));
        case protocol::FrameType::Incomplete:
            return flush(event.page) &&
                   m_out.take(PageEvent::notRead(m_inside, "page " + std::to_string(event.page) + ": " +
                                                               std::string(event.bytes)));
        case protocol::FrameType::PageEnd:
            return flush(event.page);
        default:
            // Recognition's unsure addresses stay with the pages of the file itself.
            return true;
        }
    }

    bool flush(int page)
    {
        const bool going = sendPieces(m_out, m_inside, page, m_text, m_largestPiece);
        m_text.clear();
        return going;
    }

    PageSink &m_out;
    std::string m_inside;
    std::size_t m_largestPiece;
    std::string m_text;
    bool m_stopped = false;
};

class SourceReader
{
public:
    SourceReader(TextEngine &engine, const SourceRequest &request, PageSink &sink)
        : m_engine(engine), m_request(request), m_sink(sink)
    {
    }

    // The metadata and attached files of a document at `inside` (empty: the file itself),
    // within the documents of `chain`.
    bool read(TextDocument &document, const std::string &inside, std::vector<QByteArray> &chain)
    {
        if (m_request.metadata) {
            for (const MetadataField &field : MetadataOf(document.trailer())) {
                if (!m_sink.take(
                        PageEvent::extra(inside, 0, SourceKind::Metadata, false, field.name, field.text)))
                    return false;
            }
        }
        if (!m_request.attachments)
            return true;
        const std::vector<AttachedFile> files = AttachedFilesOf(
            document.trailer(), document.pageCount(), [&](int page) { return document.pageObject(page); });
        for (const AttachedFile &file : files) {
            const std::string path =
                inside.empty() ? file.name : inside + std::string(kInsideSeparator) + file.name;
            if (!attached(file, path, chain))
                return false;
        }
        return true;
    }

private:
    bool notRead(const std::string &path, const std::string &why)
    {
        return m_sink.take(PageEvent::notRead(path, why));
    }

    bool attached(const AttachedFile &file, const std::string &path, std::vector<QByteArray> &chain)
    {
        const SourceLimits &limits = m_request.limits;
        if (static_cast<int>(chain.size()) >= limits.deepest)
            return notRead(path,
                           "attached more than " + std::to_string(limits.deepest) + " levels deep: not read");
        if (++m_files > limits.mostFiles)
            return m_files > limits.mostFiles + 1 ||
                   notRead(path, "more than " + std::to_string(limits.mostFiles) +
                                     " attached files: this one and the rest were not read");
        const std::size_t bound = std::min(limits.largestFile, limits.mostBytes - m_bytes);
        StreamData data = file.stream.data(bound);
        if (data.tooLarge)
            return notRead(path, bound < limits.largestFile
                                     ? "the attached files unpack to more than " +
                                           megabytes(limits.mostBytes) + " together: not read"
                                     : "it unpacks to more than " + megabytes(bound) + ": not followed");
        m_bytes += data.bytes.size();
        AttachedContent content = ClassifyAttached(file.name, file.type, data.bytes);
        switch (content.kind) {
        case AttachedContent::Kind::Text:
            return sendPieces(m_sink, path, 0, content.text, limits.largestPiece);
        case AttachedContent::Kind::Other:
            return notRead(path, content.what + ": only PDF and text files are read");
        case AttachedContent::Kind::Pdf:
            break;
        }
        const QByteArray digest = digestOf(data.bytes);
        if (std::find(chain.begin(), chain.end(), digest) != chain.end() || isTheFile(data.bytes, digest))
            return notRead(path, "it is a file it is attached to, a loop of attachments: not followed");
        return attachedPdf(std::move(data.bytes), path, digest, chain);
    }

    bool attachedPdf(std::string bytes, const std::string &path, const QByteArray &digest,
                     std::vector<QByteArray> &chain)
    {
        OpenResult opened = m_engine.openAttached(std::move(bytes), m_request.passwords);
        switch (opened.outcome) {
        case protocol::Outcome::Text:
            break;
        case protocol::Outcome::NeedsPassword:
            return notRead(path, "password protected");
        case protocol::Outcome::WrongPassword:
            return notRead(path, "none of the passwords opens it");
        default:
            return notRead(path, "damaged or not a PDF file");
        }
        AttachedPageSink pages(m_sink, path, m_request.limits.largestPiece);
        if (const int count = opened.document->pageCount(); count > 0) {
            opened.document->convert({1, count}, m_request.pages, pages);
            if (pages.stopped())
                return false;
        }
        chain.push_back(digest);
        const bool going = read(*opened.document, path, chain);
        chain.pop_back();
        return going;
    }

    // Whether an attached file is the file itself: compared by digest only where the sizes agree.
    bool isTheFile(std::string_view bytes, const QByteArray &digest)
    {
        std::error_code error;
        if (m_request.path.empty() || std::filesystem::file_size(m_request.path, error) != bytes.size() ||
            error)
            return false;
        if (m_fileDigest.isEmpty()) {
            std::ifstream file(m_request.path, std::ios::binary);
            QCryptographicHash hash(QCryptographicHash::Sha256);
            std::vector<char> buffer(std::size_t{1} << 16);
            while (file.read(buffer.data(), std::streamsize(buffer.size())) || file.gcount() > 0)
                hash.addData(QByteArrayView(buffer.data(), qsizetype(file.gcount())));
            m_fileDigest = hash.result();
        }
        return m_fileDigest == digest;
    }

    TextEngine &m_engine;
    const SourceRequest &m_request;
    PageSink &m_sink;
    int m_files = 0;
    std::size_t m_bytes = 0;
    QByteArray m_fileDigest;
};

} // namespace

bool SendDocumentSources(TextDocument &document, TextEngine &engine, const SourceRequest &request,
                         PageSink &sink)
{
    if (!request.metadata && !request.attachments)
        return true;
    SourceReader reader(engine, request, sink);
    std::vector<QByteArray> chain;
    return reader.read(document, {}, chain);
}

} // namespace pelmora::worker
