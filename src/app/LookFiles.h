#pragma once

#include <QCursor>
#include <QList>
#include <QString>

#include <optional>

class QWidget;

namespace pelmora {

// Optional files in the program's folder that change how the window looks.
namespace look {
QString skinFile(const QString &programFolder);        // x/o.cjs
QString handPointerFile(const QString &programFolder); // HAND-M.CUR
QString dragPointerFile(const QString &programFolder); // drag.ico
} // namespace look

// With a skin file present, the window and the given frames, check boxes and option
// buttons take the button face colour; without it nothing changes. Returns whether the
// file was there. The skin file itself is not read: its format belongs to a closed
// skinning library, so only the colour change is made.
bool ApplySkin(const QString &programFolder, QWidget &window, const QList<QWidget *> &controls);

// A pointer from a Windows .cur or .ico file. A cursor file names its hotspot; an icon
// has none and is held at its centre. Empty when the file is missing or unreadable.
std::optional<QCursor> LoadPointerFile(const QString &path);

// The hand over the buttons; none without HAND-M.CUR.
std::optional<QCursor> LoadHandPointer(const QString &programFolder);

// The pointer over the file list while a row is dragged; a closed hand when drag.ico
// is missing.
QCursor LoadDragPointer(const QString &programFolder);

} // namespace pelmora
