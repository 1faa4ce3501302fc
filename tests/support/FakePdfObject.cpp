#include "FakePdfObject.h"

#include <optional>

namespace pelmora::test {

namespace {

using worker::PdfObject;
using worker::StreamData;

struct Value
{
    Entries entries;
    std::vector<PdfObject> items;
    std::optional<std::string> string;
    std::optional<std::string> name;
    std::optional<long long> integer;
    std::optional<std::string> data; // a stream's
    int id = 0;
};

class Reader : public PdfObject::Reader
{
public:
    explicit Reader(Value value) : m_value(std::move(value)) {}

    std::shared_ptr<const PdfObject::Reader> get(std::string_view key) const override
    {
        for (const auto &[name, object] : m_value.entries) {
            if (name == key)
                return readerOf(object);
        }
        return nullptr;
    }
    std::vector<std::string> keys() const override
    {
        std::vector<std::string> keys;
        for (const auto &entry : m_value.entries)
            keys.push_back(entry.first);
        return keys;
    }
    int size() const override { return static_cast<int>(m_value.items.size()); }
    std::shared_ptr<const PdfObject::Reader> at(int index) const override
    {
        return index >= 0 && index < size() ? readerOf(m_value.items[std::size_t(index)]) : nullptr;
    }
    std::optional<std::string> string() const override { return m_value.string; }
    std::optional<std::string> name() const override { return m_value.name; }
    std::optional<long long> integer() const override { return m_value.integer; }
    int id() const override { return m_value.id; }
    bool isStream() const override { return m_value.data.has_value(); }
    StreamData data(std::size_t bound) const override
    {
        if (!m_value.data)
            return {};
        if (m_value.data->size() > bound)
            return {{}, true};
        return {*m_value.data, false};
    }

    static std::shared_ptr<const PdfObject::Reader> readerOf(const PdfObject &object)
    {
        return object.reader();
    }

private:
    Value m_value;
};

PdfObject make(Value value)
{
    return PdfObject(std::make_shared<Reader>(std::move(value)));
}

} // namespace

PdfObject Dict(Entries entries, int id)
{
    Value value;
    value.entries = std::move(entries);
    value.id = id;
    return make(std::move(value));
}

PdfObject Array(std::vector<PdfObject> items, int id)
{
    Value value;
    value.items = std::move(items);
    value.id = id;
    return make(std::move(value));
}

PdfObject Str(std::string bytes)
{
    Value value;
    value.string = std::move(bytes);
    return make(std::move(value));
}

PdfObject Name(std::string name)
{
    Value value;
    value.name = std::move(name);
    return make(std::move(value));
}

PdfObject Int(long long number)
{
    Value value;
    value.integer = number;
    return make(std::move(value));
}

PdfObject Stream(std::string data, Entries entries, int id)
{
    Value value;
    value.entries = std::move(entries);
    value.data = std::move(data);
    value.id = id;
    return make(std::move(value));
}

} // namespace pelmora::test
