#include "cache/FileResult.h"

#include "extract/AddressRepairs.h"

#include <QDataStream>
#include <QIODevice>

namespace pelmora {

namespace {

// The layout is part of the cache's schema version: change one, change both.
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

// How an address was found, with its repairs: "text", "text;joined+lookalike".
using Way = std::pair<FoundVia, AddressRuleSet>;

QByteArray wayName(const Way &way)
{
    const QString repairs = RepairNames(way.second);
    return (repairs.isEmpty() ? ViaName(way.first) : ViaName(way.first) + u';' + repairs).toUtf8();
}

std::optional<Way> wayNamed(const QByteArray &name)
{
    const QString text = QString::fromUtf8(name);
    const qsizetype semicolon = text.indexOf(u';');
    const std::optional<FoundVia> via = ViaNamed(semicolon < 0 ? text : text.first(semicolon));
    const std::optional<AddressRuleSet> repairs =
        semicolon < 0 ? AddressRuleSet() : RepairsNamed(QStringView(text).sliced(semicolon + 1));
    if (!via || !repairs || (semicolon >= 0 && !*repairs))
        return std::nullopt;
    return Way{*via, *repairs};
}

} // namespace

QByteArray EncodeFindings(const FileResult &result)
{
    const QList<FileAddress> &addresses = result.addresses;
    // The few ways of finding an address are listed once; each address names its way by index.
    QList<Way> ways;
    for (const FileAddress &each : addresses) {
        if (!ways.contains(Way{each.via, each.repaired}))
            ways.append({each.via, each.repaired});
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << quint32(ways.size());
    for (const Way &way : std::as_const(ways))
        out << wayName(way);
    out << quint32(addresses.size());
    for (const FileAddress &each : addresses)
        out << each.address.toUtf8() << qint32(each.page) << qint32(each.count)
            << quint16(ways.indexOf(Way{each.via, each.repaired})) << each.inside.toUtf8();
    out << quint32(result.notRead.size());
    for (const AttachmentNotRead &each : result.notRead)
        out << each.inside.toUtf8() << each.reason.toUtf8();
    return bytes;
}

std::optional<FileResult> DecodeFindings(FileVerdict verdict, const QByteArray &bytes)
{
    QDataStream in(bytes);
    in.setVersion(kStreamVersion);
    quint32 wayCount = 0;
    in >> wayCount;
    QList<Way> ways;
    for (quint32 i = 0; i < wayCount && in.status() == QDataStream::Ok; ++i) {
        QByteArray name;
        in >> name;
        const std::optional<Way> way = wayNamed(name);
        if (!way)
            return std::nullopt;
        ways.append(*way);
    }
    quint32 count = 0;
    in >> count;
    FileResult result{verdict, {}};
    // Each takes 18 bytes at least: a count from a damaged row must not reserve gigabytes.
    result.addresses.reserve(std::min<qsizetype>(count, bytes.size() / 18));
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QByteArray address;
        qint32 page = 0;
        qint32 sightings = 0;
        quint16 via = 0;
        QByteArray inside;
        in >> address >> page >> sightings >> via >> inside;
        if (address.isEmpty() || page < 0 || sightings < 1 || via >= ways.size())
            return std::nullopt;
        result.addresses.append({QString::fromUtf8(address), page, sightings, ways[via].first,
                                 ways[via].second, QString::fromUtf8(inside)});
    }
    quint32 notRead = 0;
    in >> notRead;
    for (quint32 i = 0; i < notRead && in.status() == QDataStream::Ok; ++i) {
        QByteArray inside;
        QByteArray reason;
        in >> inside >> reason;
        result.notRead.append({QString::fromUtf8(inside), QString::fromUtf8(reason)});
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return result;
}

} // namespace pelmora
