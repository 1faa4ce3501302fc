#include "results/ResultsFile.h"

#include "extract/AddressExtraction.h"
#include "extract/AddressRepairs.h"

#include "core/AppError.h"
#include "core/NativePath.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

qsizetype totalLength(const QStringList &addresses)
{
    qsizetype length = 0;
    for (const QString &address : addresses)
        length += address.size();
    return length;
}

// One byte per character. Addresses never hold anything but ASCII; should another
// character slip in, it still takes exactly one byte.
void appendBytes(QByteArray &out, const QString &text)
{
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char *dest = out.data() + at;
    for (const QChar c : text)
        *dest++ = c.unicode() < 0x100 ? static_cast<char>(c.unicode()) : '?';
}

[[noreturn]] void fail(const QString &path, const QString &why)
{
    throw AppError(u"The results could not be saved to "_s + QDir::toNativeSeparators(path) + u": "_s + why);
}

} // namespace

int AddressSource::counted() const
{
    return tally ? tally->count(address.toLatin1()) : count;
}

QByteArray ListEntries(const QStringList &addresses, ResultsFormat format, QByteArrayView lineEnd)
{
    const QByteArrayView separator = format == ResultsFormat::CommaList ? QByteArrayView(",") : lineEnd;
    QByteArray out;
    out.reserve(totalLength(addresses) + separator.size() * addresses.size() + lineEnd.size());
    for (const QString &address : addresses) {
        appendBytes(out, address);
        out.append(separator);
    }
    return out;
}

QByteArray LineListBytes(const QStringList &addresses, QByteArrayView lineEnd)
{
    return ListEntries(addresses, ResultsFormat::LineList, lineEnd);
}

QByteArray CommaListBytes(const QStringList &addresses, QByteArrayView lineEnd)
{
    return ListEntries(addresses, ResultsFormat::CommaList, lineEnd) + lineEnd;
}

namespace {

// OWASP's advice against formulas in CSV files: what begins like one is kept as text.
bool mayBeTakenForFormula(const QString &text)
{
    return !text.isEmpty() && QStringView(u"=+-@\t\r").contains(text.front());
}

// RFC 4180: a field with a comma, a quote or a line break goes in quotes, its quotes
// doubled. Paths may hold any of them. A name that is not UTF-8 keeps its own bytes, so
// the cell names that file and no other.
void appendCsvField(QByteArray &out, const QString &text)
{
    const QByteArray bytes = NativePath(mayBeTakenForFormula(text) ? u"'"_s + text : text);
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r')) {
        out += bytes;
        return;
    }
    out += '"';
    for (const char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// A JSON string. Surrogates are escaped one by one, so a lone one (a file name's
// byte that is not UTF-8) survives the trip.
void appendJsonString(QByteArray &out, QStringView text)
{
    out += '"';
    qsizetype plainFrom = 0; // the run of characters written as they are
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u != '"' && u != '\\' && u >= 0x20 && !QChar::isSurrogate(u))
            continue;
        out += text.sliced(plainFrom, i - plainFrom).toUtf8();
        plainFrom = i + 1;
        if (u == '"' || u == '\\')
            out += '\\' + QByteArray(1, char(u));
        else
            out += "\\u" + QByteArray::number(u, 16).rightJustified(4, '0');
    }
    out += text.sliced(plainFrom).toUtf8();
    out += '"';
}

} // namespace

QString ViaName(FoundVia via)
{
    switch (via) {
    case FoundVia::Link:
        return u"link"_s;
    case FoundVia::Recognised:
        return u"recognised"_s;
    case FoundVia::Disguised:
        return u"disguised"_s;
    case FoundVia::Annotation:
        return u"annotation"_s;
    case FoundVia::Form:
        return u"form"_s;
    case FoundVia::Metadata:
        return u"metadata"_s;
    case FoundVia::Attachment:
        return u"attachment"_s;
    case FoundVia::Text:
        break;
    }
    return u"text"_s;
}

std::optional<FoundVia> ViaNamed(const QString &name)
{
    for (const FoundVia via :
         {FoundVia::Text, FoundVia::Link, FoundVia::Recognised, FoundVia::Disguised, FoundVia::Annotation,
          FoundVia::Form, FoundVia::Metadata, FoundVia::Attachment}) {
        if (name == ViaName(via))
            return via;
    }
    return std::nullopt;
}

QByteArray CsvBytes(const QList<AddressSource> &rows, QByteArrayView lineEnd)
{
    // "repaired" and "inside" came last, after the columns older readers know.
    QByteArray out = "address,file,page,count,via,repaired,inside" + lineEnd.toByteArray();
    for (const AddressSource &row : rows) {
        appendCsvField(out, row.address);
        out += ',';
        appendCsvField(out, row.file);
        out += ',' + QByteArray::number(row.page) + ',' + QByteArray::number(row.counted()) + ',' +
               ViaName(row.via).toLatin1() + ',' + RepairNames(row.repaired).toLatin1() + ',';
        appendCsvField(out, row.inside);
        out += lineEnd;
    }
    return out;
}

QByteArray JsonLinesBytes(const QList<AddressSource> &rows)
{
    // Written by hand: the keys keep their order, which QJsonObject would sort.
    QByteArray out;
    for (const AddressSource &row : rows) {
        out += "{\"address\":";
        appendJsonString(out, row.address);
        out += ",\"file\":";
        appendJsonString(out, row.file);
        out += ",\"page\":" + QByteArray::number(row.page) +
               ",\"count\":" + QByteArray::number(row.counted()) + ",\"via\":\"" +
               ViaName(row.via).toLatin1() + "\",\"repaired\":\"" + RepairNames(row.repaired).toLatin1() +
               "\",\"inside\":";
        appendJsonString(out, row.inside);
        out += "}\n";
    }
    return out;
}

QByteArray ResultsBytes(const QList<AddressSource> &rows, ResultsFormat format, QByteArrayView lineEnd)
{
    QStringList addresses;
    if (format == ResultsFormat::LineList || format == ResultsFormat::CommaList) {
        addresses.reserve(rows.size());
        for (const AddressSource &row : rows)
            addresses.append(row.address);
    }
    switch (format) {
    case ResultsFormat::LineList:
        return LineListBytes(addresses, lineEnd);
    case ResultsFormat::CommaList:
        return CommaListBytes(addresses, lineEnd);
    case ResultsFormat::Csv:
        return CsvBytes(rows, lineEnd);
    case ResultsFormat::JsonLines:
        break;
    }
    return JsonLinesBytes(rows);
}

namespace {

std::optional<FoundVia> viaNamed(const QJsonValue &name)
{
    if (name.isUndefined())
        return FoundVia::Text;
    return ViaNamed(name.toString());
}

} // namespace

std::optional<AddressSource> ParseJsonLine(QByteArrayView line)
{
    if (line.trimmed().isEmpty())
        return std::nullopt;
    const QJsonObject object = QJsonDocument::fromJson(line.toByteArray()).object();
    const QJsonValue address = object.value(u"address"_s);
    const QJsonValue page = object.value(u"page"_s);
    const QJsonValue count = object.value(u"count"_s);
    const std::optional<FoundVia> via = viaNamed(object.value(u"via"_s));
    const QJsonValue repairNames = object.value(u"repaired"_s);
    const std::optional<AddressRuleSet> repaired =
        repairNames.isUndefined() ? AddressRuleSet() : RepairsNamed(repairNames.toString());
    const QJsonValue inside = object.value(u"inside"_s);
    // Whole numbers only: 1.5 or 1e10 would be cut to another number.
    const auto whole = [](const QJsonValue &value) {
        return value.isDouble() && value.toDouble() == double(value.toInt());
    };
    if (!address.isString() || !object.value(u"file"_s).isString() || !whole(page) || !whole(count) || !via ||
        !repaired || (!repairNames.isUndefined() && !repairNames.isString()) ||
        (!inside.isUndefined() && !inside.isString()))
        throw AppError(u"is not an address written by pelmora-extract --format jsonl."_s);
    return AddressSource{address.toString(),
                         object.value(u"file"_s).toString(),
                         page.toInt(),
                         count.toInt(),
                         *via,
                         {},
                         *repaired,
                         inside.toString()};
}

QList<AddressSource> ParseJsonLines(const QByteArray &text)
{
    QList<AddressSource> rows;
    int number = 0;
    for (const QByteArray &line : text.split('\n')) {
        ++number;
        try {
            if (std::optional<AddressSource> row = ParseJsonLine(line))
                rows.append(std::move(*row));
        } catch (const AppError &error) {
            throw AppError(u"line "_s + QString::number(number) + u' ' + error.description());
        }
    }
    return rows;
}

void WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        throw AppError(u"The results could not be saved: no file name was given."_s);
    const QFileInfo target(path);
    if (target.isDir())
        fail(path, u"that name belongs to a folder."_s);
    if (!target.dir().exists())
        fail(path,
             u"the folder "_s + QDir::toNativeSeparators(target.absolutePath()) + u" does not exist."_s);

    QSaveFile file(path);
    // Unbuffered, so a failing write reports its own cause, not a later flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(path, file.errorString() + u'.');
    // A short write says nothing; the next one fails with the cause (disk full, say).
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            fail(path, why + u'.');
        }
        done += written;
    }
    if (!file.commit())
        fail(path, file.errorString() + u'.');
}

void SaveResults(const QString &path, const QList<AddressSource> &rows, ResultsFormat format)
{
    WriteFileAtomically(path, ResultsBytes(rows, format));
}

} // namespace pelmora
