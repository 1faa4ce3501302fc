#include "worker/poppler/PopplerObject.h"

#include <Object.h>
#include <Stream.h>
#include <goo/GooString.h>

#include <array>

namespace pelmora::worker {

namespace {

class Reader : public PdfObject::Reader
{
public:
    Reader(Object object, int id) : m_object(std::move(object)), m_id(id) {}

    static std::shared_ptr<const PdfObject::Reader> make(const Object &reference, Object value)
    {
        if (value.isNull() || value.isError() || value.isNone())
            return nullptr;
        return std::make_shared<Reader>(std::move(value), reference.isRef() ? reference.getRefNum() : 0);
    }

    std::shared_ptr<const PdfObject::Reader> get(std::string_view key) const override
    {
        const Dict *dict = this->dict();
        if (!dict)
            return nullptr;
        const std::string name(key);
        return make(dict->lookupNF(name.c_str()), dict->lookup(name.c_str()));
    }

    std::vector<std::string> keys() const override
    {
        std::vector<std::string> keys;
        if (const Dict *dict = this->dict()) {
            for (int i = 0; i < dict->getLength(); ++i)
                keys.emplace_back(dict->getKey(i));
        }
        return keys;
    }

    int size() const override { return m_object.isArray() ? m_object.arrayGetLength() : 0; }

    std::shared_ptr<const PdfObject::Reader> at(int index) const override
    {
        if (index < 0 || index >= size())
            return nullptr;
        return make(m_object.arrayGetNF(index), m_object.arrayGet(index));
    }

    std::optional<std::string> string() const override
    {
        if (!m_object.isString())
            return std::nullopt;
        return m_object.getString()->toStr();
    }

    std::optional<std::string> name() const override
    {
        if (!m_object.isName())
            return std::nullopt;
        return std::string(m_object.getName());
    }

    std::optional<long long> integer() const override
    {
        if (m_object.isInt())
            return m_object.getInt();
        if (m_object.isInt64())
            return m_object.getInt64();
        return std::nullopt;
    }

    int id() const override { return m_id; }
    bool isStream() const override { return m_object.isStream(); }

    StreamData data(std::size_t bound) const override
    {
        StreamData data;
        if (!m_object.isStream())
            return data;
        Stream *stream = m_object.getStream();
        stream->reset();
        std::array<unsigned char, 65536> buffer{};
        for (int got; (got = stream->doGetChars(int(buffer.size()), buffer.data())) > 0;) {
            if (data.bytes.size() + std::size_t(got) > bound) {
                data = {{}, true};
                break;
            }
            data.bytes.append(reinterpret_cast<const char *>(buffer.data()), std::size_t(got));
        }
        stream->close();
        return data;
    }

private:
    const Dict *dict() const
    {
        if (m_object.isDict())
            return m_object.getDict();
        return m_object.isStream() ? m_object.streamGetDict() : nullptr;
    }

    Object m_object;
    int m_id;
};

} // namespace

PdfObject PopplerObject(const Object &object, int id)
{
    if (object.isNull() || object.isNone() || object.isError())
        return {};
    return PdfObject(std::make_shared<Reader>(object.copy(), id));
}

} // namespace pelmora::worker
