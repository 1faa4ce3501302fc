#include "extract/AddressContext.h"

#include <QByteArrayList>

#include <algorithm>
#include <array>

namespace pelmora {

namespace {

// How far from a word its context is looked for; a URL, a path or a header line is shorter.
constexpr qsizetype kContextReach = 400;

// Top-level domains that are common file name extensions too.
constexpr const char *kFileEndings[] = {"zip", "py", "sh", "so", "md", "mov"};
// Words that tell of mail before an address.
constexpr const char *kMailWords[] = {"mail", "contact", "write", "send", "reach"};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// A copy command earlier on the word's line: "scp notes.txt kris,xy-pic@web.example.net:htdocs".
bool followsCopyCommand(QByteArrayView text, qsizetype start)
{
    qsizetype lineStart = start;
    while (lineStart > 0 && start - lineStart < kContextReach && text[lineStart - 1] != '\n')
        --lineStart;
    const QByteArrayView line = text.sliced(lineStart, start - lineStart);
    for (const QByteArrayView command : {"scp ", "rsync ", "sftp "}) {
        for (qsizetype at = line.indexOf(command); at >= 0; at = line.indexOf(command, at + 1)) {
            if (at == 0 || isSpace(line[at - 1]))
                return true;
        }
    }
    return false;
}

// A path after "host:", as ssh and scp take it: "org/repo.git", "~/", "/srv/x", or any
// after a copy command. Text run together after an address ("info@acme.com:Tel") is none.
bool isSshLogin(QByteArrayView text, qsizetype start, qsizetype end)
{
    if (end + 1 >= text.size() || text[end] != ':')
        return false;
    const qsizetype limit = std::min(text.size(), end + 1 + kContextReach);
    qsizetype after = end + 1;
    while (after < limit && !isSpace(text[after]))
        ++after;
    const QByteArrayView path = text.sliced(end + 1, after - end - 1);
    return path.contains('/') || path.endsWith(".git") ||
           (!path.isEmpty() && followsCopyCommand(text, start));
}

bool isUrlUserPart(QByteArrayView text, qsizetype start)
{
    const qsizetype limit = std::max<qsizetype>(0, start - kContextReach);
    qsizetype i = start;
    while (i > limit && !isSpace(text[i - 1]) && text[i - 1] != '/' && text[i - 1] != '@')
        --i;
    return i >= 2 && text[i - 1] == '/' && text[i - 2] == '/';
}

// The characters run together before the word, back to a space: "news:" of
// "news:idbo94$uka$1@four.albasani.net", "//user:pass" of a URL.
QByteArrayView runBefore(QByteArrayView text, qsizetype start)
{
    const qsizetype limit = std::max<qsizetype>(0, start - kContextReach);
    qsizetype i = start;
    while (i > limit && !isSpace(text[i - 1]))
        --i;
    return text.sliced(i, start - i);
}

// A Usenet article's identifier: after "news:", or one of a news server's with "$" between
// its parts ("<dh058t$qbd$1@news.ks.uiuc.edu>"), which no one's address has.
bool isNewsArticle(QByteArrayView text, qsizetype start)
{
    const QByteArrayView run = runBefore(text, start);
    return run.startsWith("news:") || run.startsWith("<news:") || (run.endsWith('$') && run.count('$') >= 2);
}

bool containsNoCase(QByteArrayView text, QByteArrayView needle)
{
    for (qsizetype i = 0; i + needle.size() <= text.size(); ++i) {
        if (text.sliced(i, needle.size()).compare(needle, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isWordCharacter(char c)
{
    return isDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '-';
}

// Where the last header of message identifiers in `line` ends ("Message-ID:", "MID:",
// "In-Reply-To:", "References:", in any letter case and as words of their own); -1 if none.
qsizetype headerEnd(QByteArrayView line)
{
    qsizetype end = -1;
    for (const QByteArrayView header : {"message-id:", "mid:", "in-reply-to:", "references:"}) {
        for (qsizetype i = 0; i + header.size() <= line.size(); ++i) {
            if ((i == 0 || !isWordCharacter(line[i - 1])) &&
                line.sliced(i, header.size()).compare(header, Qt::CaseInsensitive) == 0)
                end = std::max(end, i + header.size());
        }
    }
    return end;
}

// Whether `part` holds nothing but identifiers in angle brackets, the punctuation between
// them and "and": the rest of a header's list ("<a@x> <b@y>", "and <c@z>.").
bool onlyIdentifiers(QByteArrayView part)
{
    for (qsizetype i = 0; i < part.size();) {
        const char c = part[i];
        if (c == '<') {
            const qsizetype close = part.indexOf('>', i);
            if (close < 0)
                return i + 1 == part.size(); // the word's own bracket
            i = close + 1;
        } else if (isSpace(c) || c == ',' || c == ';' || c == '.') {
            ++i;
        } else if (part.sliced(i).startsWith("and") &&
                   (i + 3 == part.size() || !isWordCharacter(part[i + 3]))) {
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// Whether the word at `start` stands in the list of a header of message identifiers: on
// its line, or on the lines below it that hold nothing but identifiers ("References:" /
// "<a@x>" / "<b@y>").
bool underMessageHeader(QByteArrayView text, qsizetype start)
{
    const qsizetype limit = std::max<qsizetype>(0, start - kContextReach);
    qsizetype end = start;
    while (end > limit) {
        const qsizetype newline = text.sliced(limit, end - limit).lastIndexOf('\n');
        const qsizetype lineStart = newline < 0 ? limit : limit + newline + 1;
        const QByteArrayView line = text.sliced(lineStart, end - lineStart);
        const qsizetype header = headerEnd(line);
        if (header >= 0)
            return onlyIdentifiers(line.sliced(header));
        if (!onlyIdentifiers(line) || newline < 0 || (end < start && line.trimmed().isEmpty()))
            return false;
        end = lineStart - 1;
    }
    return false;
}

// Right after "Message-ID:" or "MID:", on its line or the next, with or without angle
// brackets ("Message-ID: yfivd6svl8y.fsf@mutant.triumf.ca").
bool rightAfterIdHeader(QByteArrayView text, qsizetype start)
{
    qsizetype i = start;
    if (i > 0 && text[i - 1] == '<')
        --i;
    while (i > 0 && start - i < kContextReach && isSpace(text[i - 1]))
        --i;
    for (const QByteArrayView header : {"message-id:", "mid:"}) {
        if (i >= header.size() &&
            text.sliced(i - header.size(), header.size()).compare(header, Qt::CaseInsensitive) == 0 &&
            (i == header.size() || !isWordCharacter(text[i - header.size() - 1])))
            return true;
    }
    return false;
}

bool isUuid(QByteArrayView local)
{
    if (local.size() != 36)
        return false;
    for (qsizetype i = 0; i < local.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? local[i] != '-' : !isHexDigit(local[i]))
            return false;
    }
    return true;
}

bool holdsTimeStamp(QByteArrayView local)
{
    const QByteArrayList pieces = local.toByteArray().split('.');
    return pieces.size() >= 2 && std::any_of(pieces.cbegin(), pieces.cend(), [](const QByteArray &piece) {
               return piece.size() >= 10 && std::all_of(piece.cbegin(), piece.cend(), isDigit);
           });
}

// "<...>", or the mathematical angle brackets "⟨...⟩" of a typeset bibliography.
bool inAngleBrackets(QByteArrayView text, qsizetype start, qsizetype end)
{
    const QByteArrayView before = text.first(start);
    const QByteArrayView after = text.sliced(end);
    return (before.endsWith('<') && after.startsWith('>')) ||
           (before.endsWith("\xe2\x9f\xa8") && after.startsWith("\xe2\x9f\xa9"));
}

// Gnus names its messages "<random>.fsf@host" ("<wdafcrw8a0.fsf@mpie-duesseldorf.mpg.de>").
bool isGnusId(QByteArrayView local)
{
    return local.size() > 4 && local.endsWith(".fsf") && local.count('.') == 1;
}

bool isMessageId(QByteArrayView text, qsizetype start, qsizetype at, qsizetype end)
{
    if (rightAfterIdHeader(text, start))
        return true;
    if (!inAngleBrackets(text, start, end))
        return false;
    const QByteArrayView local = text.sliced(start, at - start);
    return isUuid(local) || holdsTimeStamp(local) || isGnusId(local) || underMessageHeader(text, start);
}

// A control sequence, or a macro parameter: "#" and one digit, as TeX has it ("#1@",
// "#2@institute.fr"); "ref#4711@" is no parameter.
bool isMacroCode(QByteArrayView text, qsizetype start)
{
    if (start == 0)
        return false;
    const char before = text[start - 1];
    return before == '\\' ||
           (before == '#' && isDigit(text[start]) && (start + 1 == text.size() || !isDigit(text[start + 1])));
}

// A word before it on its line that tells of mail: "E-mail:", "Contact", "write to".
bool followsMailWord(QByteArrayView text, qsizetype start)
{
    qsizetype lineStart = start;
    while (lineStart > 0 && start - lineStart < kContextReach && text[lineStart - 1] != '\n')
        --lineStart;
    const QByteArrayView line = text.sliced(lineStart, start - lineStart);
    return std::any_of(std::begin(kMailWords), std::end(kMailWords),
                       [&](const char *word) { return containsNoCase(line, word); });
}

bool isVersionLabel(QByteArrayView label)
{
    const bool digits = !label.isEmpty() && std::all_of(label.begin(), label.end(), isDigit);
    const bool named = label.size() >= 2 && (label[0] == 'v' || label[0] == 'V') &&
                       std::all_of(label.begin() + 1, label.end(), isDigit);
    return digits || named;
}

// A file name whose extension is a top-level domain too: "release@v2.zip",
// "libfoo@1.2.3.so", "build@main.py", "notes@readme.md"; a version in the domain
// ("matplotlib@3.9.dev": two labels of digits) whatever the ending. A host of one label
// at such an ending is read as an address only where mail is spoken of before it on its
// line or angle brackets hold it ("Contact: hello@notion.so").
bool isFileName(QByteArrayView text, qsizetype start, qsizetype at, qsizetype end)
{
    QByteArrayView domain = text.sliced(at + 1, end - at - 1);
    while (domain.endsWith('.'))
        domain.chop(1);
    QList<QByteArrayView> labels;
    for (qsizetype from = 0; from <= domain.size();) {
        qsizetype dot = domain.indexOf('.', from);
        if (dot < 0)
            dot = domain.size();
        labels.append(domain.sliced(from, dot - from));
        from = dot + 1;
    }
    if (labels.size() < 2)
        return false;
    qsizetype digitRun = 0;
    for (const QByteArrayView label : labels) {
        digitRun = std::all_of(label.begin(), label.end(), isDigit) ? digitRun + 1 : 0;
        if (digitRun >= 2)
            return true;
    }
    const QByteArrayView ending = labels.back();
    if (std::none_of(std::begin(kFileEndings), std::end(kFileEndings),
                     [&](const char *file) { return ending.compare(file, Qt::CaseInsensitive) == 0; }))
        return false;
    if (std::any_of(labels.begin(), labels.end() - 1, isVersionLabel))
        return true;
    return labels.size() == 2 && !inAngleBrackets(text, start, end) && !followsMailWord(text, start);
}

} // namespace

bool IsNoAddressByContext(QByteArrayView text, qsizetype start, qsizetype at, qsizetype end)
{
    return isMacroCode(text, start) || isSshLogin(text, start, end) || isUrlUserPart(text, start) ||
           isMessageId(text, start, at, end) || isNewsArticle(text, start) ||
           isFileName(text, start, at, end);
}

} // namespace pelmora
