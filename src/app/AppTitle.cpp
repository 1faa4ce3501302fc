#include "app/AppTitle.h"

#include <QGuiApplication>

namespace pelmora {

QString MakeAppTitle(const QString &productName)
{
    constexpr qsizetype kLongest = 40;
    QString title = productName;
    qsizetype space = title.lastIndexOf(u' ');
    if (space < 0)
        return title;
    title.truncate(space);
    while (title.size() > kLongest && (space = title.lastIndexOf(u' ')) >= 0)
        title.truncate(space);
    return title;
}

QString AppTitle()
{
    const QString title = QGuiApplication::applicationDisplayName();
    return title.isEmpty() ? ProductName() : title;
}

} // namespace pelmora
