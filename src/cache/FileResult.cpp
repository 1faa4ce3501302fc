#include "cache/FileResult.h"

#include <QDataStream>
#include <QIODevice>

namespace pelmora {

namespace {

// The layout is part of the cache's schema version: change one, change both.
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

} // namespace

QByteArray EncodeAddresses(const QList<FileAddress> &addresses)
{
    // The few ways of finding an address are listed once; each address names its way by index.
    QList<FoundVia> vias;
    for (const FileAddress &each : addresses) {
        if (!vias.contains(each.via))
            vias.append(each.via);
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << quint32(vias.size());
    for (const FoundVia via : std::as_const(vias))
        out << ViaName(via).toUtf8();
    out << quint32(addresses.size());
    for (const FileAddress &each : addresses)
        out << each.address.toUtf8() << qint32(each.page) << qint32(each.count)
            << quint16(vias.indexOf(each.via));
    return bytes;
}

std::optional<QList<FileAddress>> DecodeAddresses(const QByteArray &bytes)
{
    QDataStream in(bytes);
    in.setVersion(kStreamVersion);
    quint32 viaCount = 0;
    in >> viaCount;
    QList<FoundVia> vias;
    for (quint32 i = 0; i < viaCount && in.status() == QDataStream::Ok; ++i) {
        QByteArray name;
        in >> name;
        const std::optional<FoundVia> via = ViaNamed(QString::fromUtf8(name));
        if (!via)
            return std::nullopt;
        vias.append(*via);
    }
    quint32 count = 0;
    in >> count;
    QList<FileAddress> addresses;
    // Each takes 14 bytes at least: a count from a damaged row must not reserve gigabytes.
    addresses.reserve(std::min<qsizetype>(count, bytes.size() / 14));
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QByteArray address;
        qint32 page = 0;
        qint32 sightings = 0;
        quint16 via = 0;
        in >> address >> page >> sightings >> via;
        if (address.isEmpty() || page < 1 || sightings < 1 || via >= vias.size())
            return std::nullopt;
        addresses.append({QString::fromUtf8(address), page, sightings, vias[via]});
    }
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    return addresses;
}

} // namespace pelmora
