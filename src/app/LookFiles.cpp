#include "app/LookFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPalette>
#include <QPixmap>
#include <QWidget>
#include <QtEndian>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace look {

QString skinFile(const QString &programFolder)
{
    return programFolder + u"/x/o.cjs"_s;
}

QString handPointerFile(const QString &programFolder)
{
    return programFolder + u"/HAND-M.CUR"_s;
}

QString dragPointerFile(const QString &programFolder)
{
    return programFolder + u"/drag.ico"_s;
}

} // namespace look

namespace {

// The header of a .cur/.ico file and its first directory entry. In a cursor (type 2)
// the entry's two words after the colour count hold the hotspot.
std::optional<QPoint> cursorHotspot(const QByteArray &data)
{
    constexpr qsizetype kHeader = 6;
    constexpr qsizetype kEntry = 16;
    if (data.size() < kHeader + kEntry)
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const uchar *>(data.constData());
    const quint16 type = qFromLittleEndian<quint16>(bytes + 2);
    const quint16 count = qFromLittleEndian<quint16>(bytes + 4);
    if (type != 2 || count == 0)
        return std::nullopt;
    return QPoint(qFromLittleEndian<quint16>(bytes + kHeader + 4),
                  qFromLittleEndian<quint16>(bytes + kHeader + 6));
}

} // namespace

bool ApplySkin(const QString &programFolder, QWidget &window, const QList<QWidget *> &controls)
{
    if (!QFileInfo(look::skinFile(programFolder)).isFile())
        return false;
    const QColor face = window.palette().color(QPalette::Button);
    auto paint = [&](QWidget *widget) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, face);
        widget->setPalette(palette);
    };
    paint(&window);
    for (QWidget *control : controls)
        paint(control);
    return true;
}

std::optional<QCursor> LoadPointerFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    file.close();
    // Qt's ICO reader takes cursors too, but only when told the format.
    QImageReader reader(path, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    const QPixmap pixmap = QPixmap::fromImage(image);
    if (const std::optional<QPoint> hotspot = cursorHotspot(data))
        return QCursor(pixmap, hotspot->x(), hotspot->y());
    return QCursor(pixmap);
}

std::optional<QCursor> LoadHandPointer(const QString &programFolder)
{
    return LoadPointerFile(look::handPointerFile(programFolder));
}

QCursor LoadDragPointer(const QString &programFolder)
{
    return LoadPointerFile(look::dragPointerFile(programFolder)).value_or(QCursor(Qt::ClosedHandCursor));
}

} // namespace pelmora
