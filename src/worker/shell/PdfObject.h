#pragma once

// An object of an open PDF as an engine reads it, for what a reader can open besides the
// pages' text: the notes and form values of a page, the document's metadata, its attached
// files. Each engine hands its objects out through a Reader; what is read of them is
// decided once, in the shell, so that both engines give the same. A missing or unreadable
// object reads as null, and no call throws.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

// A stream's data decoded, up to a bound.
struct StreamData
{
    std::string bytes;
    bool tooLarge = false; // it decodes to more than the bound; `bytes` is empty then
};

class PdfObject
{
public:
    // What an engine implements for each object. Null results stand for missing objects.
    class Reader
    {
    public:
        virtual ~Reader() = default;
        // A dictionary's entry (a stream's dictionary too), a reference followed.
        virtual std::shared_ptr<const Reader> get(std::string_view key) const = 0;
        virtual std::vector<std::string> keys() const = 0;
        // An array's items; 0 for anything else.
        virtual int size() const = 0;
        virtual std::shared_ptr<const Reader> at(int index) const = 0;
        // A string's bytes, decrypted.
        virtual std::optional<std::string> string() const = 0;
        virtual std::optional<std::string> name() const = 0;
        virtual std::optional<long long> integer() const = 0;
        // The object's number when a reference led to it; 0 for a direct object.
        virtual int id() const = 0;
        virtual bool isStream() const = 0;
        virtual StreamData data(std::size_t bound) const = 0;
    };

    PdfObject() = default;
    explicit PdfObject(std::shared_ptr<const Reader> reader) : m_reader(std::move(reader)) {}

    bool isNull() const { return !m_reader; }
    PdfObject get(std::string_view key) const { return PdfObject(m_reader ? m_reader->get(key) : nullptr); }
    // The entry of the object or of the nearest of its /Parent ancestors that has it, as
    // form fields and pages inherit theirs.
    PdfObject inherited(std::string_view key) const;
    std::vector<std::string> keys() const { return m_reader ? m_reader->keys() : std::vector<std::string>(); }
    int size() const { return m_reader ? m_reader->size() : 0; }
    PdfObject at(int index) const { return PdfObject(m_reader ? m_reader->at(index) : nullptr); }
    std::optional<std::string> string() const { return m_reader ? m_reader->string() : std::nullopt; }
    std::optional<std::string> name() const { return m_reader ? m_reader->name() : std::nullopt; }
    bool isName(std::string_view expected) const { return name() == expected; }
    std::optional<long long> integer() const { return m_reader ? m_reader->integer() : std::nullopt; }
    int id() const { return m_reader ? m_reader->id() : 0; }
    bool isStream() const { return m_reader && m_reader->isStream(); }
    // The decoded data of a stream, read no further than `bound` bytes.
    StreamData data(std::size_t bound) const { return m_reader ? m_reader->data(bound) : StreamData(); }
    const std::shared_ptr<const Reader> &reader() const { return m_reader; }

private:
    std::shared_ptr<const Reader> m_reader;
};

// A PDF text string (UTF-16BE or UTF-8 with their byte order marks, else PDFDocEncoding)
// as UTF-8.
std::string TextStringToUtf8(std::string_view bytes);

// The text of a string object as UTF-8; empty for anything else.
std::string TextOf(const PdfObject &object);

} // namespace pelmora::worker
