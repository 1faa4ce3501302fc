#include "protocol/WorkerProtocol.h"

#include <array>
#include <charconv>
#include <limits>

namespace pelmora::protocol {

namespace {

constexpr std::size_t kHeader = 5; // type byte, 32-bit length

constexpr std::array<std::pair<Outcome, std::string_view>, 6> kOutcomeNames{{
    {Outcome::Text, "text"},
    {Outcome::NeedsPassword, "needs-password"},
    {Outcome::WrongPassword, "wrong-password"},
    {Outcome::Damaged, "damaged"},
    {Outcome::NotRegular, "not-regular"},
    {Outcome::Error, "error"},
}};

constexpr std::array<std::pair<SourceKind, std::string_view>, 5> kSourceKindNames{{
    {SourceKind::Text, "text"},
    {SourceKind::Link, "link"},
    {SourceKind::Annotation, "annotation"},
    {SourceKind::Form, "form"},
    {SourceKind::Metadata, "metadata"},
}};

void appendLength(std::string &out, std::size_t length)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((length >> shift) & 0xFF));
}

std::uint32_t readLength(std::string_view bytes)
{
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i)
        length = (length << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    return length;
}

bool isKnownType(char type)
{
    switch (static_cast<FrameType>(type)) {
    case FrameType::Convert:
    case FrameType::StopAfter:
    case FrameType::Opened:
    case FrameType::Recognising:
    case FrameType::Text:
    case FrameType::Link:
    case FrameType::Unsure:
    case FrameType::Incomplete:
    case FrameType::Note:
    case FrameType::PageEnd:
    case FrameType::Extra:
    case FrameType::NotRead:
    case FrameType::Done:
        return true;
    }
    return false;
}

std::optional<std::vector<std::string>> splitFields(std::string_view payload)
{
    std::vector<std::string> fields;
    while (!payload.empty()) {
        if (payload.size() < 4)
            return std::nullopt;
        const std::uint32_t length = readLength(payload);
        payload.remove_prefix(4);
        if (length > payload.size())
            return std::nullopt;
        fields.emplace_back(payload.substr(0, length));
        payload.remove_prefix(length);
    }
    return fields;
}

// A yes-or-no field: "1" or empty.
bool isFlag(std::string_view field)
{
    return field.empty() || field == "1";
}

// An empty field is "not given" (0); anything else must be a number.
std::optional<int> optionalNumber(std::string_view field)
{
    return field.empty() ? std::optional<int>(0) : DecodeNumber(field);
}

// The name of a value in a table of names, and back.
template <typename Value, std::size_t Size>
std::string_view nameIn(const std::array<std::pair<Value, std::string_view>, Size> &names, Value value,
                        std::string_view unknown)
{
    for (const auto &[each, name] : names) {
        if (each == value)
            return name;
    }
    return unknown;
}

template <typename Value, std::size_t Size>
std::optional<Value> valueIn(const std::array<std::pair<Value, std::string_view>, Size> &names,
                             std::string_view name)
{
    for (const auto &[value, known] : names) {
        if (known == name)
            return value;
    }
    return std::nullopt;
}

} // namespace

std::string_view OutcomeName(Outcome outcome)
{
    return nameIn(kOutcomeNames, outcome, "error");
}

std::optional<Outcome> OutcomeFromName(std::string_view name)
{
    return valueIn(kOutcomeNames, name);
}

std::string_view SourceKindName(SourceKind kind)
{
    return nameIn(kSourceKindNames, kind, "text");
}

std::optional<SourceKind> SourceKindFromName(std::string_view name)
{
    return valueIn(kSourceKindNames, name);
}

std::string EncodeFrame(FrameType type, const std::vector<std::string_view> &fields)
{
    std::size_t payload = 0;
    for (const std::string_view field : fields)
        payload += 4 + field.size();
    std::string out;
    out.reserve(kHeader + payload);
    out.push_back(static_cast<char>(type));
    appendLength(out, payload);
    for (const std::string_view field : fields) {
        appendLength(out, field.size());
        out.append(field);
    }
    return out;
}

void FrameReader::feed(std::string_view bytes)
{
    if (m_broken)
        return;
    // Drop what has been taken before growing, so the buffer holds at most one frame
    // and what follows it.
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    m_buffer.append(bytes);
}

std::optional<Frame> FrameReader::next()
{
    if (m_broken)
        return std::nullopt;
    const std::string_view rest = std::string_view(m_buffer).substr(m_start);
    if (rest.size() < kHeader)
        return std::nullopt;
    const char type = rest[0];
    const std::uint32_t length = readLength(rest.substr(1));
    if (!isKnownType(type) || length > kMaxFrame) {
        m_broken = true;
        return std::nullopt;
    }
    if (rest.size() < kHeader + length)
        return std::nullopt;
    std::optional<std::vector<std::string>> fields = splitFields(rest.substr(kHeader, length));
    if (!fields) {
        m_broken = true;
        return std::nullopt;
    }
    m_start += kHeader + length;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    return Frame{static_cast<FrameType>(type), std::move(*fields)};
}

std::optional<int> DecodeNumber(std::string_view field)
{
    if (field.empty() || field.size() > 10)
        return std::nullopt;
    // Digits only: from_chars alone would take "-0".
    for (const char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || value < 0 ||
        value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

std::string EncodeNumber(int number)
{
    return std::to_string(number);
}

std::string EncodeRequest(const ConvertRequest &request)
{
    const std::string first = request.firstPage > 0 ? EncodeNumber(request.firstPage) : std::string();
    const std::string last = request.lastPage > 0 ? EncodeNumber(request.lastPage) : std::string();
    std::string options;
    if (request.recognise)
        options += 'o';
    if (request.links)
        options += 'l';
    if (request.notes)
        options += 'n';
    if (request.metadata)
        options += 'm';
    if (request.attachments)
        options += 'a';
    std::vector<std::string_view> fields{request.path,        first, last, options, request.languages,
                                         request.addressRules};
    for (const std::string &password : request.passwords)
        fields.emplace_back(password);
    return EncodeFrame(FrameType::Convert, fields);
}

std::string EncodeStopAfter(int lastPage)
{
    const std::string last = EncodeNumber(lastPage);
    return EncodeFrame(FrameType::StopAfter, {last});
}

std::optional<int> DecodeStopAfter(const Frame &frame)
{
    if (frame.type != FrameType::StopAfter || frame.fields.size() != 1)
        return std::nullopt;
    const std::optional<int> last = DecodeNumber(frame.fields[0]);
    return last && *last > 0 ? last : std::nullopt;
}

std::optional<ConvertRequest> DecodeRequest(const Frame &frame)
{
    if (frame.type != FrameType::Convert || frame.fields.size() < 6)
        return std::nullopt;
    const std::optional<int> first = optionalNumber(frame.fields[1]);
    const std::optional<int> last = optionalNumber(frame.fields[2]);
    if (!first || !last)
        return std::nullopt;
    ConvertRequest request;
    request.path = frame.fields[0];
    request.firstPage = *first;
    request.lastPage = *last;
    for (const char option : frame.fields[3]) {
        if (option == 'o')
            request.recognise = true;
        else if (option == 'l')
            request.links = true;
        else if (option == 'n')
            request.notes = true;
        else if (option == 'm')
            request.metadata = true;
        else if (option == 'a')
            request.attachments = true;
        else
            return std::nullopt;
    }
    request.languages = frame.fields[4];
    request.addressRules = frame.fields[5];
    request.passwords.assign(frame.fields.begin() + 6, frame.fields.end());
    return request;
}

std::string EncodeEvent(const PageEvent &event)
{
    const std::string page = EncodeNumber(event.page);
    switch (event.type) {
    case FrameType::Opened:
        return EncodeFrame(event.type, {OutcomeName(event.outcome), event.bytes, EncodeNumber(event.pages)});
    case FrameType::Recognising:
        return EncodeFrame(event.type, {page, EncodeNumber(event.pages)});
    case FrameType::Text:
    case FrameType::Link:
    case FrameType::Incomplete:
        return EncodeFrame(event.type, {page, event.bytes});
    case FrameType::Unsure: {
        std::vector<std::string_view> fields{page, event.bytes};
        fields.insert(fields.end(), event.alternatives.begin(), event.alternatives.end());
        return EncodeFrame(event.type, fields);
    }
    case FrameType::Note:
        return EncodeFrame(event.type,
                           {page, SourceKindName(event.kind), event.shown ? "1" : "", event.bytes});
    case FrameType::PageEnd:
        return EncodeFrame(event.type, {page});
    case FrameType::Extra:
        return EncodeFrame(event.type, {event.inside, page, SourceKindName(event.kind),
                                        event.shown ? "1" : "", event.name, event.bytes});
    case FrameType::NotRead:
        return EncodeFrame(event.type, {event.inside, event.bytes});
    case FrameType::Convert:
    case FrameType::StopAfter:
    case FrameType::Done:
        break;
    }
    return EncodeFrame(FrameType::Done, {});
}

std::optional<PageEvent> DecodeEvent(const Frame &frame)
{
    const std::vector<std::string> &fields = frame.fields;
    const auto number = [&](std::size_t field) {
        return fields.size() > field ? DecodeNumber(fields[field]) : std::nullopt;
    };
    switch (frame.type) {
    case FrameType::Opened: {
        const std::optional<Outcome> outcome = fields.size() == 3 ? OutcomeFromName(fields[0]) : std::nullopt;
        if (!outcome || !number(2))
            return std::nullopt;
        return PageEvent::opened(*outcome, *number(2), fields[1]);
    }
    case FrameType::Recognising:
        if (fields.size() != 2 || !number(0) || !number(1))
            return std::nullopt;
        return PageEvent::recognising(*number(0), *number(1));
    case FrameType::Text:
    case FrameType::Link:
    case FrameType::Incomplete:
        if (fields.size() != 2 || !number(0))
            return std::nullopt;
        return PageEvent{frame.type, *number(0), 0, fields[1]};
    case FrameType::Unsure:
        if (fields.size() < 2 || !number(0))
            return std::nullopt;
        return PageEvent{frame.type, *number(0),    0,
                         fields[1],  Outcome::Text, {fields.begin() + 2, fields.end()}};
    case FrameType::PageEnd:
        if (fields.size() != 1 || !number(0))
            return std::nullopt;
        return PageEvent::pageEnd(*number(0));
    case FrameType::Note: {
        const std::optional<SourceKind> kind =
            fields.size() == 4 ? SourceKindFromName(fields[1]) : std::nullopt;
        if (!kind || !number(0) || !isFlag(fields[2]))
            return std::nullopt;
        return PageEvent::note(*number(0), *kind, !fields[2].empty(), fields[3]);
    }
    case FrameType::Extra: {
        const std::optional<SourceKind> kind =
            fields.size() == 6 ? SourceKindFromName(fields[2]) : std::nullopt;
        if (!kind || !number(1) || !isFlag(fields[3]))
            return std::nullopt;
        return PageEvent::extra(fields[0], *number(1), *kind, !fields[3].empty(), fields[4], fields[5]);
    }
    case FrameType::NotRead:
        if (fields.size() != 2)
            return std::nullopt;
        return PageEvent::notRead(fields[0], fields[1]);
    case FrameType::Done:
        if (!fields.empty())
            return std::nullopt;
        return PageEvent::done();
    case FrameType::Convert:
    case FrameType::StopAfter:
        break;
    }
    return std::nullopt;
}

} // namespace pelmora::protocol
