#include "worker/mupdf/MupdfObject.h"

#include <array>

// MuPDF reports errors by longjmp out of fz_try: every call that may throw is inside one,
// no C++ object is made inside one, and what one sets and the code after it reads is
// marked with fz_var.

namespace pelmora::worker {

namespace {

class Reader : public PdfObject::Reader
{
public:
    // Takes a reference to `object`.
    Reader(fz_context *ctx, pdf_obj *object) : m_ctx(ctx), m_object(object) {}
    ~Reader() override { pdf_drop_obj(m_ctx, m_object); }
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // A reader of `object`, null where it is missing or resolves to nothing.
    static std::shared_ptr<const PdfObject::Reader> make(fz_context *ctx, pdf_obj *object)
    {
        int present = 0;
        fz_var(present);
        fz_try(ctx) present = object && !pdf_is_null(ctx, object);
        fz_catch(ctx) present = 0;
        if (!present)
            return nullptr;
        return std::make_shared<Reader>(ctx, pdf_keep_obj(ctx, object));
    }

    std::shared_ptr<const PdfObject::Reader> get(std::string_view key) const override
    {
        const std::string name(key);
        pdf_obj *value = nullptr;
        fz_var(value);
        fz_try(m_ctx) value = pdf_dict_gets(m_ctx, m_object, name.c_str());
        fz_catch(m_ctx) value = nullptr;
        return make(m_ctx, value);
    }

    std::vector<std::string> keys() const override
    {
        std::vector<std::string> keys;
        int count = 0;
        fz_var(count);
        fz_try(m_ctx) count = pdf_dict_len(m_ctx, m_object);
        fz_catch(m_ctx) count = 0;
        for (int i = 0; i < count; ++i) {
            if (const char *key = keyAt(i); key && *key)
                keys.emplace_back(key);
        }
        return keys;
    }

    int size() const override
    {
        int length = 0;
        fz_var(length);
        fz_try(m_ctx) length = pdf_is_array(m_ctx, m_object) ? pdf_array_len(m_ctx, m_object) : 0;
        fz_catch(m_ctx) length = 0;
        return length;
    }

    std::shared_ptr<const PdfObject::Reader> at(int index) const override
    {
        pdf_obj *item = nullptr;
        fz_var(item);
        fz_try(m_ctx) item = pdf_array_get(m_ctx, m_object, index);
        fz_catch(m_ctx) item = nullptr;
        return make(m_ctx, item);
    }

    std::optional<std::string> string() const override
    {
        const char *bytes = nullptr;
        std::size_t length = 0;
        fz_var(bytes);
        fz_var(length);
        fz_try(m_ctx)
        {
            if (pdf_is_string(m_ctx, m_object)) {
                bytes = pdf_to_str_buf(m_ctx, m_object);
                length = pdf_to_str_len(m_ctx, m_object);
            }
        }
        fz_catch(m_ctx) bytes = nullptr;
        if (!bytes)
            return std::nullopt;
        return std::string(bytes, length);
    }

    std::optional<std::string> name() const override
    {
        const char *name = nullptr;
        fz_var(name);
        fz_try(m_ctx) name = pdf_is_name(m_ctx, m_object) ? pdf_to_name(m_ctx, m_object) : nullptr;
        fz_catch(m_ctx) name = nullptr;
        if (!name)
            return std::nullopt;
        return std::string(name);
    }

    std::optional<long long> integer() const override
    {
        int isInteger = 0;
        long long value = 0;
        fz_var(isInteger);
        fz_var(value);
        fz_try(m_ctx)
        {
            isInteger = pdf_is_int(m_ctx, m_object);
            if (isInteger)
                value = pdf_to_int64(m_ctx, m_object);
        }
        fz_catch(m_ctx) isInteger = 0;
        return isInteger ? std::optional<long long>(value) : std::nullopt;
    }

    int id() const override { return pdf_is_indirect(m_ctx, m_object) ? pdf_to_num(m_ctx, m_object) : 0; }

    bool isStream() const override
    {
        int stream = 0;
        fz_var(stream);
        fz_try(m_ctx) stream = pdf_is_stream(m_ctx, m_object);
        fz_catch(m_ctx) stream = 0;
        return stream != 0;
    }

    StreamData data(std::size_t bound) const override
    {
        StreamData data;
        fz_stream *stream = nullptr;
        fz_var(stream);
        fz_try(m_ctx) stream = pdf_open_stream(m_ctx, m_object);
        fz_catch(m_ctx) stream = nullptr;
        std::array<unsigned char, 65536> buffer{};
        for (std::size_t got = 1; stream && got > 0;) {
            got = read(stream, buffer.data(), buffer.size());
            if (data.bytes.size() + got > bound) {
                data = {{}, true};
                break;
            }
            data.bytes.append(reinterpret_cast<const char *>(buffer.data()), got);
        }
        fz_drop_stream(m_ctx, stream);
        return data;
    }

private:
    const char *keyAt(int index) const
    {
        const char *key = nullptr;
        fz_var(key);
        fz_try(m_ctx) key = pdf_to_name(m_ctx, pdf_dict_get_key(m_ctx, m_object, index));
        fz_catch(m_ctx) key = nullptr;
        return key;
    }

    // What comes before damage is read, as with a page.
    std::size_t read(fz_stream *stream, unsigned char *buffer, std::size_t size) const
    {
        std::size_t got = 0;
        fz_var(got);
        fz_try(m_ctx) got = fz_read(m_ctx, stream, buffer, size);
        fz_catch(m_ctx) got = 0;
        return got;
    }

    fz_context *m_ctx;
    pdf_obj *m_object;
};

} // namespace

PdfObject MupdfObject(fz_context *ctx, pdf_obj *object)
{
    return PdfObject(Reader::make(ctx, object));
}

std::vector<PdfObject> Annotations(fz_context *ctx, pdf_obj *page)
{
    const PdfObject annotations = MupdfObject(ctx, page).get("Annots");
    std::vector<PdfObject> list;
    for (int i = 0, n = annotations.size(); i < n; ++i)
        list.push_back(annotations.at(i));
    return list;
}

bool OnlyPlainLinks(fz_context *ctx, pdf_obj *page)
{
    pdf_obj *annots = pdf_dict_get(ctx, page, PDF_NAME(Annots));
    for (int i = 0, n = pdf_array_len(ctx, annots); i < n; ++i) {
        pdf_obj *annot = pdf_array_get(ctx, annots, i);
        if (!pdf_name_eq(ctx, pdf_dict_get(ctx, annot, PDF_NAME(Subtype)), PDF_NAME(Link)) ||
            pdf_dict_get(ctx, annot, PDF_NAME(AP)))
            return false;
    }
    return true;
}

void LinkTarget(fz_context *ctx, pdf_document *doc, pdf_obj *annot, const char *&base, const char *&uri)
{
    if (!pdf_name_eq(ctx, pdf_dict_get(ctx, annot, PDF_NAME(Subtype)), PDF_NAME(Link)) ||
        !pdf_dict_get(ctx, annot, PDF_NAME(Rect)) || pdf_dict_get(ctx, annot, PDF_NAME(Dest)))
        return;
    pdf_obj *action = pdf_dict_get(ctx, annot, PDF_NAME(A));
    if (!action)
        action = pdf_dict_geta(ctx, pdf_dict_get(ctx, annot, PDF_NAME(AA)), PDF_NAME(U), PDF_NAME(D));
    if (!pdf_name_eq(ctx, pdf_dict_get(ctx, action, PDF_NAME(S)), PDF_NAME(URI)))
        return;
    uri = pdf_dict_get_text_string(ctx, action, PDF_NAME(URI));
    if (!fz_is_external_link(ctx, uri)) {
        pdf_obj *root = pdf_dict_getp(ctx, pdf_trailer(ctx, doc), "Root/URI/Base");
        base = root ? pdf_to_text_string(ctx, root) : "file://";
    }
}

} // namespace pelmora::worker
