#include "inputs/PathText.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// One left-to-right pass replacing each pair of separators by one.
QString halvePairs(QStringView text, QChar separator)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text[i]);
        if (text[i] == separator && i + 1 < text.size() && text[i + 1] == separator)
            ++i;
    }
    return result;
}

QString collapseRuns(QStringView text, QChar separator)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c == separator && !result.isEmpty() && result.back() == separator)
            continue;
        result.append(c);
    }
    return result;
}

// For absolute paths: "/" for the root's children.
QString parentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? u"/"_s : path.left(slash);
}

bool isInside(const QString &path, const QString &folder)
{
    if (folder == u"/"_s)
        return path.startsWith(u'/');
    return path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == u'/';
}

} // namespace

QString CollapseBackslashes(const QString &path, QChar separator)
{
    if (path.isEmpty())
        return {};
    if (separator != u'\\')
        return collapseRuns(path, separator);
    if (path.front() != u'\\')
        return halvePairs(path, separator);
    qsizetype from = 1;
    while (from < path.size() && path[from] == u'\\')
        ++from;
    return u"\\\\"_s + halvePairs(QStringView(path).mid(from), separator);
}

QString DialogResultText(const QStringList &chosenPaths)
{
    if (chosenPaths.size() <= 1)
        return chosenPaths.value(0);
    QStringList paths;
    paths.reserve(chosenPaths.size());
    for (const QString &path : chosenPaths)
        paths.append(path.startsWith(u'/') ? path : QDir::current().absoluteFilePath(path));
    QString folder = parentFolder(paths.front());
    for (const QString &path : paths) {
        while (!isInside(path, folder))
            folder = parentFolder(folder);
    }
    QString text = folder;
    for (const QString &path : paths) {
        text += QChar(0);
        text += path.mid(folder == u"/"_s ? 1 : folder.size() + 1);
    }
    return text;
}

QStringList RowsFromDialogResult(const QString &resultText, QChar separator)
{
    if (resultText.isEmpty())
        return {};
    QStringList parts = resultText.split(QChar(0));
    if (parts.size() == 1)
        return parts;
    QStringList rows;
    rows.reserve(parts.size() - 1);
    for (qsizetype i = 1; i < parts.size(); ++i)
        rows.append(CollapseBackslashes(parts.front() + separator + parts[i], separator));
    return rows;
}

std::optional<QStringList> RowsForChosenFiles(const QStringList &chosenPaths, QChar separator)
{
    const QString text = DialogResultText(chosenPaths);
    if (text.size() > kDialogResultLimit)
        return std::nullopt;
    return RowsFromDialogResult(text, separator);
}

} // namespace pelmora
