#include "app/Clipboard.h"

#include "results/ClipboardText.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace pelmora {

bool RetryClipboard(const std::function<bool()> &attempt)
{
    for (int made = 0; made < kClipboardAttempts; ++made) {
        if (attempt())
            return true;
    }
    return false;
}

void ClearClipboard()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    RetryClipboard([&] {
        clipboard->clear();
        const QMimeData *now = clipboard->mimeData();
        return !now || now->formats().isEmpty();
    });
}

bool SetClipboardText(const QString &text, const QString &mimeType)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    // The clipboard is read back: if another program took it meanwhile, it holds other text.
    if (mimeType.isEmpty()) {
        return RetryClipboard([&] {
            clipboard->setText(text);
            return clipboard->text() == text;
        });
    }
    const QByteArray bytes = text.toUtf8();
    return RetryClipboard([&] {
        auto *data = new QMimeData; // the clipboard takes it
        data->setData(mimeType, bytes);
        clipboard->setMimeData(data);
        const QMimeData *now = clipboard->mimeData();
        return now && now->data(mimeType) == bytes;
    });
}

void ListToClipboard(const QAbstractItemModel &list)
{
    if (list.rowCount() <= 0)
        return;
    const QString text = ListClipboardText(list);
    ClearClipboard();
    SetClipboardText(text);
}

} // namespace pelmora
