// Checks the converter workers' pipe protocol on arbitrary bytes: the first bytes choose
// how the rest is cut into pieces before it reaches the FrameReader. Whatever the cut,
// the reader never crashes and yields what it yields for the whole stream at once; every
// frame re-encodes to itself, and every request and event it decodes survives a
// round trip unchanged.

#include "protocol/WorkerProtocol.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace pelmora::protocol;

namespace {

void check(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "PROPERTY BROKEN: %s\n", what);
        std::abort();
    }
}

struct Read
{
    std::vector<Frame> frames;
    bool broken = false;
    std::size_t pending = 0;
};

// Piece sizes from 1 to 64 from a small generator seeded by the input, or all at once.
Read readInPieces(std::string_view stream, std::uint32_t seed, bool whole)
{
    Read read;
    FrameReader reader;
    std::uint32_t state = seed | 1u;
    while (!stream.empty()) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t piece =
            whole ? stream.size() : std::min<std::size_t>(1 + state % 64, stream.size());
        reader.feed(stream.substr(0, piece));
        stream.remove_prefix(piece);
        while (std::optional<Frame> frame = reader.next())
            read.frames.push_back(std::move(*frame));
    }
    read.broken = reader.broken();
    read.pending = reader.pending();
    return read;
}

std::string encode(const Frame &frame)
{
    return EncodeFrame(frame.type, std::vector<std::string_view>(frame.fields.begin(), frame.fields.end()));
}

std::optional<Frame> readOne(const std::string &bytes)
{
    FrameReader reader;
    reader.feed(bytes);
    std::optional<Frame> frame = reader.next();
    if (!frame || reader.pending() != 0 || reader.broken())
        return std::nullopt;
    return frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint32_t seed = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                               std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
    const std::string_view stream(reinterpret_cast<const char *>(data) + 4, size - 4);

    const Read cut = readInPieces(stream, seed, false);
    const Read whole = readInPieces(stream, seed, true);
    check(cut.frames == whole.frames, "the frames do not depend on how the stream is cut");
    check(cut.broken == whole.broken, "breaking does not depend on how the stream is cut");

    std::size_t taken = 0;
    for (const Frame &frame : cut.frames) {
        const std::string bytes = encode(frame);
        taken += bytes.size();
        check(stream.substr(0, taken).ends_with(bytes), "a frame re-encodes to the bytes it came from");
        check(readOne(bytes) == frame, "a re-encoded frame reads back the same");

        if (const std::optional<ConvertRequest> request = DecodeRequest(frame)) {
            const std::optional<Frame> again = readOne(EncodeRequest(*request));
            check(again.has_value(), "an encoded request is one whole frame");
            check(DecodeRequest(*again) == request, "a decoded request survives re-encoding");
        }
        if (const std::optional<PageEvent> event = DecodeEvent(frame)) {
            const std::optional<Frame> again = readOne(EncodeEvent(*event));
            check(again.has_value(), "an encoded event is one whole frame");
            check(again && DecodeEvent(*again) == event, "a decoded event survives re-encoding");
        }
    }
    if (!cut.broken)
        check(taken + cut.pending == stream.size(), "every byte is a frame's or pending");
    return 0;
}
