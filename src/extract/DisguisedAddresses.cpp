#include "extract/DisguisedAddresses.h"

#include "core/DrawnUnderscore.h"

#include <QRegularExpression>

#include <algorithm>
#include <cctype>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// "at" or "dot" in brackets of any kind, in any letter case, with spaces around.
QString bracketed(const QString &word)
{
    const QString inside = uR"([ \t]*(?i:)"_s + word + uR"()[ \t]*)"_s;
    return uR"([ \t]*(?:\[)"_s + inside + uR"(\]|\()"_s + inside + uR"(\)|\{)"_s + inside + uR"(\}|<)"_s +
           inside + uR"(>)[ \t]*)"_s;
}

// "-at-", "_dot_" and their capitals, joined to the words on both sides.
QString joined(const QString &word)
{
    return uR"([-_](?:)"_s + word + u'|' + word.toUpper() + uR"()[-_])"_s;
}

const QString kDotInBrackets = uR"([ \t]*(?:\[\.\]|\(\.\)|\{\.\})[ \t]*)"_s;
const QString kDotWord = uR"([ \t]+(?:dot|DOT)[ \t]+)"_s;

// Every disguised dot: "[dot]", "(.)", "-dot-", " dot ".
QString disguisedDot()
{
    return bracketed(u"dot"_s) + u'|' + kDotInBrackets + u'|' + joined(u"dot"_s) + u'|' + kDotWord;
}

// A part of a name: no joined "at" or "dot" inside it.
QString part(const QString &characters)
{
    return uR"((?:(?![-_](?i:at|dot)[-_]))"_s + characters + uR"()+)"_s;
}

// The whole: a local part and a domain of two labels or more, neither glued to more
// of a word (a letter beyond ASCII included: each of its UTF-8 bytes a Latin-1 character
// here), nor followed by another "at". A drawn underscore (its UTF-8 bytes) counts in the
// local part as "_" does; the plain rules read it and name the repair.
QString address(const QString &at, const QString &dot)
{
    const QString underscore = QRegularExpression::escape(QString::fromLatin1(kDrawnUnderscoreUtf8));
    const QString local = part(uR"((?:[A-Za-z0-9_+-]|)"_s + underscore + u')');
    const QString label = part(uR"([A-Za-z0-9-])"_s);
    return uR"((?<![A-Za-z0-9_.@+\x{80}-\x{ff}-])(?<local>)"_s + local + u"(?:(?:"_s + dot + u')' + local +
           u")*)(?:"_s + at + u")(?<domain>"_s + label + u"(?:(?:"_s + dot + u')' + label +
           uR"()+)(?![A-Za-z0-9_@\x{80}-\x{ff}-])(?!(?:)"_s + at + u"))"_s;
}

QRegularExpression compiled(const QString &pattern)
{
    QRegularExpression re(pattern);
    re.optimize();
    return re;
}

// Brackets, joined words, "@" and "[.]"; at least one of them disguised.
const QRegularExpression &markedForm()
{
    thread_local const QRegularExpression pattern = compiled(
        address(bracketed(u"at"_s) + u'|' + joined(u"at"_s) + u"|@"_s, disguisedDot() + uR"(|\.)"_s));
    return pattern;
}

// "name at example dot org" in small letters, "name AT example DOT org" in capitals.
const QRegularExpression &spacedForm(bool capitals)
{
    const auto make = [](const QString &at) {
        return compiled(address(uR"([ \t]+)"_s + at + uR"([ \t]+)"_s, disguisedDot() + uR"(|\.)"_s));
    };
    thread_local const QRegularExpression small = make(u"at"_s);
    thread_local const QRegularExpression large = make(u"AT"_s);
    return capitals ? large : small;
}

const QRegularExpression &dotMarks()
{
    thread_local const QRegularExpression pattern = compiled(disguisedDot());
    return pattern;
}

// What ends right before a match that makes it the tail of a longer disguise:
// "(dot)minz(at)...", "-dot-minz...", and with spaced words " dot minz at ...".
const QRegularExpression &disguiseBefore(bool spaced)
{
    const QString marks = uR"((?:(?i:at|dot)[ \t]*[\])}>]|[-_](?i:at|dot)[-_]))"_s;
    thread_local const QRegularExpression close = compiled(marks + uR"([ \t]*$)"_s);
    thread_local const QRegularExpression words =
        compiled(u"(?:"_s + marks + uR"(|(?:^|[ \t])(?:at|dot|AT|DOT))[ \t]*$)"_s);
    return spaced ? words : close;
}

struct Found
{
    qsizetype at;
    QString address;
};

enum class Form
{
    Marked,
    Small,
    Capitals,
};

// Whether `text` ends in a name of which `local` holds a word's first letters: "Karl
// Berry" for "karl", "Nils Ole Tippenhauer" for "nils_tippenhauer".
bool namesItsOwner(const QString &text, const QString &local)
{
    thread_local const QRegularExpression name(uR"((?:[A-Z][a-z]+[ \t]+){0,2}[A-Z][a-z]+[ \t]*$)"_s);
    const QRegularExpressionMatch owner = name.match(text);
    if (!owner.hasMatch())
        return false;
    constexpr qsizetype kFirstLetters = 4;
    const QStringList words = owner.captured().simplified().split(u' ');
    return std::any_of(words.begin(), words.end(), [&](const QString &word) {
        return word.size() >= 3 &&
               local.contains(word.first(std::min(word.size(), kFirstLetters)), Qt::CaseInsensitive);
    });
}

// Whether the match is the whole of a disguise as a reader would take it.
bool standsAlone(const QString &line, const QRegularExpressionMatch &match, Form form)
{
    const QString before = line.first(match.capturedStart());
    if (before.contains(disguiseBefore(form != Form::Marked)))
        return false;
    switch (form) {
    case Form::Marked: {
        // Written plainly, it is ExtractEmailToArray's.
        thread_local const QRegularExpression marks(uR"([\[({<]|[-_](?i:at|dot)[-_])"_s);
        return match.captured().contains(marks);
    }
    case Form::Small:
    case Form::Capitals: {
        // With a disguised dot in the domain, in small letters the name starts a phrase of
        // its own, not "visit us at example dot com". With plain dots only, it takes a
        // label, angle brackets, a name of words joined by dots or parentheses after its
        // owner's name: "E-mail: jane at example.org", "<jane at example.org>", "jane.roe at
        // example.org", "Karl Berry (karl at example.org)", not "available at ctan.org" nor
        // "and at TeX.SE".
        const QString trimmed = before.trimmed();
        if (match.captured(u"domain"_s).contains(dotMarks()))
            return form == Form::Capitals || trimmed.isEmpty() || !trimmed.back().isLower();
        thread_local const QRegularExpression label(
            uR"((?:^|[^A-Za-z])(?i:e-?mail|mail|mailto|internet)[ \t]*:[ \t]*[(\[]?$)"_s);
        thread_local const QRegularExpression dottedName(uR"(^[A-Za-z]+(?:\.[A-Za-z]+)+$)"_s);
        const QString after = line.sliced(match.capturedEnd()).trimmed();
        const QString local = match.captured(u"local"_s);
        return trimmed.contains(label) || (trimmed.endsWith(u'<') && after.startsWith(u'>')) ||
               local.contains(dottedName) ||
               (trimmed.endsWith(u'(') && after.startsWith(u')') && namesItsOwner(trimmed.chopped(1), local));
    }
    }
    return false;
}

// Whether the name only says what to put in: "lastname at gmail dot com" under an
// author's name is a riddle whose answer the reader writes, not an address. A bare
// "name" is left alone: "name [at] example [dot] org" is how a manual shows the form.
bool isRiddle(const QString &local)
{
    thread_local const QRegularExpression riddle(
        uR"(^(?=.*(?:(?:first|last|given|family|sur|your)name|first\.last))(?:%1)(?:\.(?:%1))*$)"_s.arg(
            u"(?:first|last|given|family|sur|your)?name|first|last"_s),
        QRegularExpression::CaseInsensitiveOption);
    return local.contains(riddle);
}

void collect(const QString &line, qsizetype offset, QList<Found> &found)
{
    for (const Form form : {Form::Marked, Form::Small, Form::Capitals}) {
        const QRegularExpression &pattern =
            form == Form::Marked ? markedForm() : spacedForm(form == Form::Capitals);
        for (const QRegularExpressionMatch &match : pattern.globalMatch(line)) {
            if (!standsAlone(line, match, form))
                continue;
            QString local = match.captured(u"local"_s);
            QString domain = match.captured(u"domain"_s);
            local.replace(dotMarks(), u"."_s);
            domain.replace(dotMarks(), u"."_s);
            if (isRiddle(local))
                continue;
            found.append({offset + match.capturedStart(), local + u'@' + domain});
        }
    }
}

bool endsWithNoCase(QByteArrayView text, QByteArrayView word)
{
    return text.size() >= word.size() && text.last(word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

bool startsWithNoCase(QByteArrayView text, QByteArrayView word)
{
    return text.size() >= word.size() && text.first(word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// Whether the text starts with " at " before a word with a dot inside ("at example.org"),
// the line break allowed that a disguise may be broken at.
bool atBeforeDomain(QByteArrayView text)
{
    if (!startsWithNoCase(text, " at") || text.size() < 4 || (text[3] != ' ' && text[3] != '\n'))
        return false;
    qsizetype i = 4;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n'))
        ++i;
    for (; i + 1 < text.size() && text[i] != ' ' && text[i] != '\n'; ++i) {
        if (text[i] == '.' && std::isalpha(static_cast<unsigned char>(text[i + 1])))
            return true;
    }
    return false;
}

// Whether the text holds a disguise at `i`: a bracket closing on "at", "dot" or ".";
// " AT ", " dot " or " DOT "; "-at-", "_dot_" and the like.
bool marksDisguise(QByteArrayView text, qsizetype i)
{
    const char c = text[i];
    const QByteArrayView from = text.sliced(i);
    if (c == ' ')
        return from.startsWith(" AT ") || from.startsWith(" dot ") || from.startsWith(" DOT ") ||
               atBeforeDomain(from);
    if (c == '-' || c == '_') {
        for (const QByteArrayView word : {QByteArrayView("at"), QByteArrayView("dot")}) {
            if (startsWithNoCase(from.sliced(1), word) && from.size() > word.size() + 1 &&
                from[word.size() + 1] == c)
                return true;
        }
        return false;
    }
    qsizetype end = i;
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    const QByteArrayView before = text.first(end);
    return before.endsWith('.') || endsWithNoCase(before, "at") || endsWithNoCase(before, "dot");
}

bool mayMarkDisguise(char c)
{
    return c == ']' || c == ')' || c == '}' || c == '>' || c == ' ' || c == '-' || c == '_';
}

// The lines of the text that hold a disguise, found without the expressions, which
// would cost far more over whole pages.
QList<std::pair<qsizetype, qsizetype>> linesWithDisguises(QByteArrayView text)
{
    QList<std::pair<qsizetype, qsizetype>> lines;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!mayMarkDisguise(text[i]) || !marksDisguise(text, i))
            continue;
        const qsizetype start = text.first(i).lastIndexOf('\n') + 1;
        const qsizetype newline = text.indexOf('\n', i);
        const qsizetype end = newline < 0 ? text.size() : newline;
        lines.append({start, end});
        i = end;
    }
    return lines;
}

bool isNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '+';
}

// Whether the line that starts at `start` starts with a "dot" or an "at": "dot beccari
// at ...", "[at] example [dot] org".
bool startsWithMark(QByteArrayView text, qsizetype start)
{
    thread_local const QRegularExpression markFirst(
        uR"(^[ \t]*(?:(?:dot|DOT|at|AT)[ \t]|[\[({<][ \t]*(?i:dot|at)[ \t]*[\])}>]))"_s);
    return QString::fromLatin1(text.sliced(start, std::min<qsizetype>(text.size() - start, 16)))
        .contains(markFirst);
}

// Whether the line ends in an "at" or a "dot", bare or disguised: "claudio dot", "name [at]".
bool endsWithMark(QByteArrayView line)
{
    thread_local const QRegularExpression markLast(
        uR"((?:(?:^|[ \t])(?:dot|DOT|at|AT)|[\[({<][ \t]*(?i:dot|at)[ \t]*[\])}>]|[-_](?i:at|dot)[-_])[ \t]*$)"_s);
    return QString::fromLatin1(line).contains(markLast);
}

constexpr int kMostLineBreaks = 2;

// The start of the line before the one at `start`, across blank lines; -1 if none.
qsizetype previousLine(QByteArrayView text, qsizetype start)
{
    qsizetype i = start;
    for (int breaks = 0; i > 0 && breaks < kMostLineBreaks && text[i - 1] == '\n'; ++breaks)
        --i;
    return i < start && i > 0 ? text.first(i).lastIndexOf('\n') + 1 : -1;
}

// Where a disguise broken at a line's end goes on: the end of the next line, across
// blank lines, when the line ends in a mark ("name [at]" / "example [dot] org");
// `end` otherwise.
qsizetype endWithBrokenRest(QByteArrayView text, qsizetype start, qsizetype end)
{
    if (!endsWithMark(text.sliced(start, end - start)))
        return end;
    qsizetype next = end;
    for (int breaks = 0; next < text.size() && breaks < kMostLineBreaks && text[next] == '\n'; ++breaks)
        ++next;
    const qsizetype newline = text.indexOf('\n', next);
    return next > end ? (newline < 0 ? text.size() : newline) : end;
}

// Where a disguise broken at a line's end starts: the line before, when it ends in a
// mark ("claudio dot" / "beccari (at) ..."); where a footnote's lines break a disguise
// before its first mark ("claudio" / "dot beccari at gmail dot com", with a blank line
// between as the converter may give), the last word of the line before. The line itself
// otherwise. Not where two such lines follow each other: footnotes set side by side
// interleave their names and their rests ("scavino" / "ezio" / "dot marco93 ..." / "dot
// aime ...").
qsizetype startWithBrokenName(QByteArrayView text, qsizetype start, qsizetype end)
{
    const qsizetype before = previousLine(text, start);
    if (before >= 0 && endsWithMark(text.sliced(before, text.indexOf('\n', before) - before)))
        return before;
    if (!startsWithMark(text, start))
        return start;
    qsizetype next = end;
    while (next < text.size() && text[next] == '\n')
        ++next;
    if (next < text.size() && startsWithMark(text, next))
        return start;
    qsizetype i = start;
    for (int breaks = 0; i > 0 && breaks < kMostLineBreaks && text[i - 1] == '\n'; ++breaks) {
        --i;
        while (i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t'))
            --i;
    }
    qsizetype name = i;
    while (name > 0 && isNameCharacter(text[name - 1]))
        --name;
    // A word of its own, not the end of another disguise: "(dot)com" / "dot ...".
    const bool alone = name == 0 || text[name - 1] == ' ' || text[name - 1] == '\t' || text[name - 1] == '\n';
    const qsizetype nameLine = text.first(name).lastIndexOf('\n') + 1;
    return i < start && name < i && alone && !startsWithMark(text, nameLine) ? name : start;
}

} // namespace

QStringList ExtractDisguised(QByteArrayView text, SeenAddresses &seen, const AddressRules &rules)
{
    QList<Found> found;
    for (const auto &[start, end] : linesWithDisguises(text)) {
        const qsizetype from = startWithBrokenName(text, start, end);
        const qsizetype to = endWithBrokenRest(text, start, end);
        // Every character of a disguised address is ASCII; Latin-1 keeps one character per
        // byte. The line breaks before the line read as a space.
        thread_local const QRegularExpression lineBreaks(uR"([ \t]*\n[ \t\n]*)"_s);
        QString line = QString::fromLatin1(text.sliced(from, to - from));
        line.replace(lineBreaks, u" "_s);
        collect(line, from, found);
    }
    std::stable_sort(found.begin(), found.end(), [](const Found &a, const Found &b) { return a.at < b.at; });
    // The plain addresses, one a line, judged as any text is.
    QByteArray plain;
    for (const Found &each : std::as_const(found))
        plain += each.address.toLatin1() + '\n';
    return ExtractEmailToArray(plain, seen, rules);
}

} // namespace pelmora
