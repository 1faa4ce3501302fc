#include "extract/DisguisedAddresses.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// A local part and a domain, neither glued to more of a word.
const auto kBefore = uR"((?<![A-Za-z0-9_.@-])(?<local>[A-Za-z0-9_][A-Za-z0-9_.-]*))"_s;
const auto kAfter = uR"((?![A-Za-z0-9_@-]))"_s;
const auto kLabel = uR"([A-Za-z0-9-]+)"_s;

QString bracketed(const QString &word)
{
    return uR"((?:\[[ \t]*(?i:)"_s + word + uR"()[ \t]*\]|\([ \t]*(?i:)"_s + word + uR"()[ \t]*\)))"_s;
}

// The brackets may hold spaces and stand between spaces; a plain "." or "@" may not.
const QRegularExpression &bracketForm()
{
    thread_local const QRegularExpression pattern = [] {
        const QString at = uR"((?:[ \t]*)"_s + bracketed(u"at"_s) + uR"([ \t]*|@))"_s;
        const QString dot = uR"((?:[ \t]*(?:)"_s + bracketed(u"dot"_s) + uR"(|\[\.\])[ \t]*|\.))"_s;
        QRegularExpression re(kBefore + at + u"(?<domain>"_s + kLabel + u"(?:"_s + dot + kLabel + u")+)"_s +
                              kAfter);
        re.optimize();
        return re;
    }();
    return pattern;
}

const QRegularExpression &capitalForm()
{
    thread_local const QRegularExpression pattern = [] {
        QRegularExpression re(kBefore + u" +AT +(?<domain>"_s + kLabel + u"(?: +DOT +"_s + kLabel + u")+)"_s +
                              kAfter);
        re.optimize();
        return re;
    }();
    return pattern;
}

const QRegularExpression &dotMarks()
{
    thread_local const QRegularExpression pattern = [] {
        QRegularExpression re(
            uR"([ \t]*(?:\[[ \t]*(?i:dot)[ \t]*\]|\([ \t]*(?i:dot)[ \t]*\)|\[\.\])[ \t]*| +DOT +)"_s);
        re.optimize();
        return re;
    }();
    return pattern;
}

struct Found
{
    qsizetype at;
    QString address;
};

void collect(const QRegularExpression &form, const QString &line, qsizetype offset, QList<Found> &found)
{
    for (const QRegularExpressionMatch &match : form.globalMatch(line)) {
        // Written plainly, it is ExtractEmailToArray's.
        const QString whole = match.captured();
        if (!whole.contains(u'[') && !whole.contains(u'(') && !whole.contains(u" AT "_s))
            continue;
        QString domain = match.captured(u"domain"_s);
        domain.replace(dotMarks(), u"."_s);
        found.append({offset + match.capturedStart(), match.captured(u"local"_s) + u'@' + domain});
    }
}

bool endsWithNoCase(QByteArrayView text, QByteArrayView word)
{
    return text.size() >= word.size() && text.last(word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// Whether the text holds a disguise at `i`: a bracket closing on "at", "dot" or ".", or " AT ".
bool marksDisguise(QByteArrayView text, qsizetype i)
{
    if (text[i] == ' ')
        return text.sliced(i).startsWith(" AT ");
    qsizetype end = i;
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    const QByteArrayView before = text.first(end);
    return before.endsWith('.') || endsWithNoCase(before, "at") || endsWithNoCase(before, "dot");
}

// The lines of the text that hold a disguise, found without the expressions, which
// would cost far more over whole pages.
QList<std::pair<qsizetype, qsizetype>> linesWithDisguises(QByteArrayView text)
{
    QList<std::pair<qsizetype, qsizetype>> lines;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c != ']' && c != ')' && c != ' ') || !marksDisguise(text, i))
            continue;
        const qsizetype start = text.first(i).lastIndexOf('\n') + 1;
        const qsizetype newline = text.indexOf('\n', i);
        const qsizetype end = newline < 0 ? text.size() : newline;
        lines.append({start, end});
        i = end;
    }
    return lines;
}

} // namespace

QStringList ExtractDisguised(QByteArrayView text, SeenAddresses &seen, const AddressRules &rules)
{
    QList<Found> found;
    for (const auto &[start, end] : linesWithDisguises(text)) {
        // Every character of a disguised address is ASCII; Latin-1 keeps one character per byte.
        const QString line = QString::fromLatin1(text.sliced(start, end - start));
        collect(bracketForm(), line, start, found);
        collect(capitalForm(), line, start, found);
    }
    std::stable_sort(found.begin(), found.end(), [](const Found &a, const Found &b) { return a.at < b.at; });
    // The plain addresses, one a line, judged as any text is.
    QByteArray plain;
    for (const Found &each : std::as_const(found))
        plain += each.address.toLatin1() + '\n';
    return ExtractEmailToArray(plain, seen, rules);
}

} // namespace pelmora
