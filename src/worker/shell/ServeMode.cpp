#include "worker/shell/ServeMode.h"

#include "extract/AddressRules.h"
#include "protocol/WorkerProtocol.h"
#include "worker/recognition/PageRecogniser.h"
#include "worker/shell/DocumentSources.h"
#include "worker/shell/FdIo.h"
#include "worker/shell/MemoryWatch.h"
#include "worker/shell/TextEngine.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

namespace pelmora::worker {

namespace {

using protocol::FrameType;

constexpr std::size_t kReadSize = 64u * 1024u;

// Answers are gathered and written a page at a time, so the program sees each page as
// soon as it is done. A failed write means the program has gone: nothing is left to do.
class FrameWriter
{
public:
    explicit FrameWriter(int fd) : m_fd(fd) {}

    void add(const protocol::PageEvent &event) { m_buffer += protocol::EncodeEvent(event); }
    void flush()
    {
        if (!WriteAll(m_fd, m_buffer))
            ::_exit(kServeOutputFailed);
        m_buffer.clear();
    }

private:
    int m_fd;
    std::string m_buffer;
};

// What the program sends: requests one after another, and while a file is converted,
// stops. Frames read while a file was converted that are no stop wait their turn.
struct Input
{
    int fd;
    protocol::FrameReader reader;
    std::deque<protocol::Frame> held;
};

// Goes on until the program asks it to stop after a page (the pages after it went to
// another worker); a failed write has ended the worker already.
class FrameSink : public PageSink
{
public:
    FrameSink(FrameWriter &writer, Input &input) : m_writer(writer), m_input(input) {}

    bool take(const protocol::PageEvent &event) override
    {
        // A target or a note too long for one frame is no address; the reader would take
        // the whole stream for broken.
        if ((event.type == FrameType::Link || event.type == FrameType::Note) &&
            event.bytes.size() > protocol::kMaxFrame / 2)
            return true;
        m_writer.add(event);
        // Recognising is sent at once, since it takes long enough to show; a page as it
        // ends; what is read after the pages piece by piece, each a step of the deadline.
        if (event.type == FrameType::Recognising || event.type == FrameType::PageEnd ||
            event.type == FrameType::Extra || event.type == FrameType::NotRead)
            m_writer.flush();
        return event.type != FrameType::PageEnd || !stopsAfter(event.page);
    }

    // Told to stop after a page: the end of the file is another conversion's.
    bool toldToStop() const { return m_stopAfter > 0; }

private:
    // Reads what came meanwhile, without waiting for more.
    bool stopsAfter(int page)
    {
        pollfd ready{m_input.fd, POLLIN, 0};
        std::string received;
        while (::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0) {
            received.clear();
            if (ReadSome(m_input.fd, received, kReadSize) <= 0)
                break;
            m_input.reader.feed(received);
        }
        while (std::optional<protocol::Frame> frame = m_input.reader.next()) {
            if (const std::optional<int> last = protocol::DecodeStopAfter(*frame))
                m_stopAfter = m_stopAfter > 0 ? std::min(m_stopAfter, *last) : *last;
            else
                m_input.held.push_back(std::move(*frame));
        }
        return m_stopAfter > 0 && page >= m_stopAfter;
    }

    FrameWriter &m_writer;
    Input &m_input;
    int m_stopAfter = 0;
};

// A whole answer of outcome "error".
void answerError(FrameWriter &writer, const std::string &message)
{
    writer.add(protocol::PageEvent::opened(protocol::Outcome::Error, 0, message));
    writer.add(protocol::PageEvent::done());
    writer.flush();
}

void answer(const protocol::ConvertRequest &request, FrameWriter &writer, Input &input, TextEngine &engine,
            PageRecogniser &recogniser)
{
    if (request.recognise) {
        if (const std::optional<std::string> problem = recogniser.useLanguages(request.languages)) {
            answerError(writer, *problem);
            return;
        }
        const std::optional<AddressRules> rules = AddressRules::fromLine(
            QByteArrayView(request.addressRules.data(), qsizetype(request.addressRules.size())));
        if (!rules) {
            answerError(writer, "the request's address rules cannot be read: " + request.addressRules);
            return;
        }
        recogniser.useAddressRules(*rules);
    }
    OpenResult opened = engine.open(request.path, request.passwords);
    // A file of no pages holds nothing to read, and pdftotext fails on it: it is not
    // reported as read.
    if (opened.document && opened.document->pageCount() <= 0) {
        opened.document.reset();
        opened.outcome = protocol::Outcome::Damaged;
        opened.detail = "the file has no pages";
    }
    std::optional<PageRange> range;
    if (opened.document)
        range = ClampRange(request.firstPage, request.lastPage, opened.document->pageCount());
    // A range that ends before it starts is empty, as pdftotext writes nothing for it.
    writer.add(protocol::PageEvent::opened(opened.outcome, range ? range->count() : 0, opened.detail));
    if (range) {
        writer.flush();
        ConvertOptions options;
        options.links = request.links;
        options.notes = request.notes;
        options.recogniser = request.recognise ? &recogniser : nullptr;
        FrameSink sink(writer, input);
        opened.document->convert(*range, options, sink);
        if (!sink.toldToStop()) {
            SourceRequest sources;
            sources.metadata = request.metadata;
            sources.attachments = request.attachments;
            sources.passwords = request.passwords;
            sources.pages = options;
            sources.path = request.path;
            SendDocumentSources(*opened.document, engine, sources, sink);
        }
    }
    // Closed before the answer ends, so that the time it takes counts for this file, not
    // for the next one's opening.
    opened.document.reset();
    writer.add(protocol::PageEvent::done());
    writer.flush();
}

int refuse(FrameWriter &writer, const std::string &message)
{
    answerError(writer, message);
    return kServeBrokenRequest;
}

} // namespace

int Serve(int in, int out, TextEngine &engine)
{
    // A vanished reader shows as a failed write, which ends the worker.
    std::signal(SIGPIPE, SIG_IGN);
    WatchMemory();
    PageRecogniser recogniser; // tesseract starts with the first page it is needed for
    Input input{in, {}, {}};
    protocol::FrameReader &reader = input.reader;
    FrameWriter writer(out);
    std::string received;
    for (;;) {
        std::optional<protocol::Frame> frame;
        if (!input.held.empty()) {
            frame = std::move(input.held.front());
            input.held.pop_front();
        } else {
            frame = reader.next();
        }
        if (!frame) {
            if (reader.broken())
                return refuse(writer, "the request is not a frame of the converter protocol");
            received.clear();
            const long got = ReadSome(in, received, kReadSize);
            if (got < 0)
                return refuse(writer, std::string("cannot read the request: ") + std::strerror(errno));
            if (got == 0) {
                if (reader.pending() == 0)
                    return 0;
                return refuse(writer, "the input ended inside a request");
            }
            reader.feed(received);
            continue;
        }
        if (protocol::DecodeStopAfter(*frame))
            continue; // late: the file it was meant for has ended
        const std::optional<protocol::ConvertRequest> request = protocol::DecodeRequest(*frame);
        if (!request)
            return refuse(writer, "not a conversion request");
        answer(*request, writer, input, engine, recogniser);
        // A library that ran out of memory may be left in a poor state: a fresh worker
        // takes the next file.
        if (AllocationEverFailed() || TakeAllocationFailure())
            return kServeOutOfMemory;
    }
}

} // namespace pelmora::worker
