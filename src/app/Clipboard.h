#pragma once

#include <QString>

#include <functional>

class QAbstractItemModel;

namespace pelmora {

// Another program may hold the clipboard for a moment, so every operation is made
// again, at once, until it works or this many attempts have been made in all.
inline constexpr int kClipboardAttempts = 1000;

// True when one of the attempts succeeded. Failures are never reported.
bool RetryClipboard(const std::function<bool()> &attempt);

// Empties the system clipboard, retrying as above.
void ClearClipboard();

// Places `text` on the clipboard, as plain text when `mimeType` is empty and as data of
// that type otherwise, retrying as above; true when an attempt succeeded.
bool SetClipboardText(const QString &text, const QString &mimeType = {});

// The list's clipboard text (see ListClipboardText) placed on the clipboard. A list
// without rows leaves the clipboard as it was.
void ListToClipboard(const QAbstractItemModel &list);

} // namespace pelmora
