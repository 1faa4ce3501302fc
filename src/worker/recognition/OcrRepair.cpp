#include "worker/recognition/OcrRepair.h"

#include "extract/AddressExtraction.h"
#include "extract/KnownDomains.h"
#include "extract/WordBoundaries.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace pelmora {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAlnum(char c)
{
    return isLetter(c) || isDigit(c);
}

} // namespace

bool MayContinueWordBefore(QByteArrayView name, QByteArrayView before)
{
    if (before.isEmpty() || name.isEmpty())
        return false;
    const char last = before.back();
    if (last == '.' || last == '_' || last == '-')
        return true;
    return before.size() == 1 || (isDigit(name.front()) && isAlnum(last));
}

bool MayBeTailOfName(QByteArrayView name, QByteArrayView before)
{
    bool letters = false;
    for (const char c : name)
        letters = letters || isLetter(c);
    if (!letters || name.size() < 2 || name.front() == '_' || name.front() == '-' || name.front() == '.')
        return true;
    return MayContinueWordBefore(name, before);
}

namespace {

// What the extraction would keep of a word: valid once its closing full stops go.
bool isAddress(QByteArrayView word)
{
    return IsValidEmail(WithoutTrailingStops(word));
}

// The extraction's word at the end of a token: after its last boundary.
QByteArrayView tailWord(QByteArrayView token)
{
    return token.sliced(WordStart(token, token.size(), true));
}

// The extraction's word at the start of a token: before its first boundary.
QByteArrayView headWord(QByteArrayView token)
{
    return token.first(WordEnd(token, 0, true));
}

// One line cut at spaces. Only a single space is ever closed: a wider gap, a TAB, CR or
// form feed is layout (a table column, a page end), not a misread glyph.
struct Line
{
    static bool isGap(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f'; }

    QList<QByteArray> tokens;
    QList<QByteArray> gaps;  // gaps[i] follows tokens[i]
    QList<qsizetype> starts; // where tokens[i] began in the text the line was made of

    explicit Line(QByteArrayView text)
    {
        qsizetype i = 0;
        while (i < text.size()) {
            qsizetype end = i;
            while (end < text.size() && !isGap(text[end]))
                ++end;
            tokens.append(text.sliced(i, end - i).toByteArray());
            starts.append(i);
            qsizetype next = end;
            while (next < text.size() && isGap(text[next]))
                ++next;
            gaps.append(text.sliced(end, next - end).toByteArray());
            i = next;
        }
    }

    bool closeable(qsizetype i) const { return i + 1 < tokens.size() && gaps[i] == " "; }

    // Tokens i..last become one, their gaps dropped.
    void join(qsizetype i, qsizetype last)
    {
        for (qsizetype k = i + 1; k <= last; ++k)
            tokens[i] += tokens[k];
        gaps[i] = gaps[last];
        tokens.remove(i + 1, last - i);
        gaps.remove(i + 1, last - i);
        starts.remove(i + 1, last - i);
    }

    QByteArray text() const
    {
        QByteArray out;
        for (qsizetype i = 0; i < tokens.size(); ++i)
            out += tokens[i] + gaps[i];
        return out;
    }
};

// The token before token i when nothing but one space parts them, else empty.
QByteArrayView wordBefore(const Line &line, qsizetype i)
{
    return (i > 0 && line.gaps[i - 1] == " ") ? QByteArrayView(line.tokens[i - 1]) : QByteArrayView();
}

// Whether the space between tokens i and i + 1 stands beside a dot of one address:
// " .label" after a letter or digit anywhere in it, "label. " only in the domain and not
// after a top-level domain, where it may end a sentence ("mail x@a.com. In ...").
bool dotSpaceCloses(const Line &line, qsizetype i)
{
    const QByteArray &left = line.tokens[i];
    const QByteArray &right = line.tokens[i + 1];
    if (!line.closeable(i) || left.isEmpty() || right.isEmpty())
        return false;
    // A dot alone between two words: "Rolf . Niepraschk@gmx.de".
    if (right == "." && isAlnum(left.back()))
        return line.closeable(i + 1) && isAlnum(line.tokens[i + 2].front());
    if (left == "." && i > 0 && line.closeable(i - 1) && isAlnum(right.front()))
        return true;
    if (right.size() >= 2 && right.front() == '.' && isAlnum(right[1]) && isAlnum(left.back()))
        return true;
    // A capital after "label. " starts a sentence.
    if (left.back() != '.' || !(isDigit(right.front()) || (right.front() >= 'a' && right.front() <= 'z')) ||
        left.size() < 2 || !isAlnum(left[left.size() - 2]))
        return false;
    const QByteArrayView domain = tailWord(left);
    const qsizetype at = domain.indexOf('@');
    if (at < 0)
        return false;
    const QByteArrayView labels = domain.sliced(at + 1).chopped(1);
    const QByteArrayView last = labels.sliced(labels.lastIndexOf('.') + 1);
    return !labels.contains('.') || !KnownDomains::system().isTopLevel(last);
}

// The address in token i, whose only at-sign it holds; empty when it holds none. With
// `knownEnding`, only one that ends in a top-level domain.
QByteArrayView addressIn(const Line &line, qsizetype i, bool knownEnding = false)
{
    const QByteArrayView token = line.tokens[i];
    const qsizetype at = token.indexOf('@');
    if (at < 0 || token.count('@') != 1)
        return {};
    const QByteArrayView word = headWord(token.sliced(WordStart(token, at, true)));
    if (!isAddress(word))
        return {};
    const QByteArrayView address = WithoutTrailingStops(word);
    const QByteArrayView ending = address.sliced(address.lastIndexOf('.') + 1);
    return !knownEnding || KnownDomains::system().isTopLevel(ending) ? word : QByteArrayView();
}

// A token with an at-sign that holds no address is joined to the tokens that spaces
// beside dots cut off it ("rdt@cs .queensu.ca", "michael .ummels@x.de",
// "x@hemmecke . de"), as many on each side as make it an address, the most joins first;
// with `tails`, also where the name may be the tail of a longer one. The spaces closed
// join `closed`.
void closeDotSpaces(Line &line, QList<qsizetype> &closed, bool tails)
{
    // More pieces than this on a side are a row of dots, not one address.
    constexpr qsizetype kMostPieces = 8;
    for (qsizetype i = 0; i < line.tokens.size(); ++i) {
        if (!line.tokens[i].contains('@') || !addressIn(line, i).isEmpty())
            continue;
        qsizetype first = i;
        while (first > 0 && i - first < kMostPieces && dotSpaceCloses(line, first - 1) &&
               !line.tokens[first - 1].contains('@'))
            --first;
        qsizetype last = i;
        while (last + 1 < line.tokens.size() && last - i < kMostPieces && dotSpaceCloses(line, last) &&
               !line.tokens[last + 1].contains('@'))
            ++last;
        std::optional<std::pair<qsizetype, qsizetype>> best;
        for (qsizetype from = first; from <= i; ++from) {
            for (qsizetype to = last; to >= i; --to) {
                if (best && (i - from) + (to - i) <= (i - best->first) + (best->second - i))
                    continue;
                Line trial = line;
                trial.join(from, to);
                if (!addressIn(trial, from, true).isEmpty())
                    best = std::pair(from, to);
            }
        }
        if (!best || best->first == best->second)
            continue;
        Line trial = line;
        trial.join(best->first, best->second);
        const QByteArrayView address = addressIn(trial, best->first);
        const bool bare = address.data() == trial.tokens[best->first].constData();
        if (!tails && MayBeTailOfName(address.first(address.indexOf('@')),
                                      bare ? wordBefore(trial, best->first) : QByteArrayView()))
            continue;
        for (qsizetype k = best->first + 1; k <= best->second; ++k)
            closed.append(line.starts[k] - 1);
        line.join(best->first, best->second);
        i = best->first;
    }
}

} // namespace

QList<qsizetype> AtSpacesToClose(QByteArrayView text, bool tails)
{
    Line line(text);
    QList<qsizetype> closed;
    for (qsizetype i = 0; i + 1 < line.tokens.size(); ++i) {
        // The pieces: a lone "@" between two words, or "@" at the end of this token or
        // at the start of the next one.
        qsizetype last = i + 1;
        if (line.tokens[i + 1] == "@") {
            if (!line.closeable(i) || !line.closeable(i + 1))
                continue;
            last = i + 2;
        } else if (!line.closeable(i) ||
                   !(line.tokens[i].endsWith('@') || line.tokens[i + 1].startsWith('@'))) {
            continue;
        }
        QByteArray joined;
        for (qsizetype k = i; k <= last; ++k)
            joined += line.tokens[k];
        const QByteArrayView left = tailWord(line.tokens[i]);
        const QByteArrayView name = left.endsWith('@') ? left.chopped(1) : left;
        const QByteArrayView domain = headWord(line.tokens[last]);
        if (name.isEmpty() || name.contains('@') ||
            (domain.startsWith('@') ? domain.sliced(1) : domain).contains('@'))
            continue;
        // The name must be the whole local part: a word with its own punctuation before
        // it is; a bare word may be the end of one split further.
        const bool bare = left.size() == line.tokens[i].size();
        if (!tails && MayBeTailOfName(name, bare ? wordBefore(line, i) : QByteArrayView()))
            continue;
        if (!isAddress(headWord(joined.sliced(line.tokens[i].size() - left.size()))))
            continue;
        for (qsizetype k = i + 1; k <= last; ++k)
            closed.append(line.starts[k] - 1);
        line.join(i, last);
    }
    closeDotSpaces(line, closed, tails);
    std::sort(closed.begin(), closed.end());
    return closed;
}

namespace {

QByteArray withoutAtSpaces(const QByteArray &text)
{
    QByteArray out = text;
    const QList<qsizetype> spaces = AtSpacesToClose(text, false);
    for (auto it = spaces.crbegin(); it != spaces.crend(); ++it)
        out.remove(*it, 1);
    return out;
}

// Calls visit(start, end) for each word of the token, the stretches between boundaries
// (beyond ASCII too with `unicode`); visit returns where the word ends once it is done with it.
template <typename Visit> void forEachWord(QByteArray &token, bool unicode, Visit &&visit)
{
    qsizetype i = 0;
    while (i < token.size()) {
        if (const qsizetype boundary = BoundaryLengthAt(token, i, unicode); boundary > 0)
            i += boundary;
        else
            i = visit(i, WordEnd(token, i, unicode));
    }
}

// A word with "@" that is no address becomes fix(word) when that is one.
template <typename Fix> void forEachAtWord(QByteArray &token, Fix &&fix)
{
    // Cut at ASCII boundaries only: a dash inside recognised text is a misread hyphen.
    forEachWord(token, false, [&](qsizetype start, qsizetype end) {
        const QByteArray word = token.sliced(start, end - start);
        if (!word.contains('@') || isAddress(word))
            return end;
        const QByteArray fixed = fix(word);
        if (fixed == word || !isAddress(fixed))
            return end;
        token.replace(start, end - start, fixed);
        return start + fixed.size();
    });
}

// Em dash, en dash and the Unicode hyphens, alone or beside an ASCII hyphen, are one hyphen.
QByteArray hyphens(const QByteArray &word)
{
    QByteArray out = word;
    for (const QByteArrayView dash : {QByteArrayView("\xE2\x80\x94"), QByteArrayView("\xE2\x80\x93"),
                                      QByteArrayView("\xE2\x80\x90"), QByteArrayView("\xE2\x80\x91")}) {
        const QByteArray d = dash.toByteArray();
        out.replace(QByteArray(QByteArray("-") + d), "-");
        out.replace(QByteArray(d + QByteArray("-")), "-");
        out.replace(d, "-");
    }
    return out;
}

bool isLower(char c)
{
    return c >= 'a' && c <= 'z';
}

bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

// The address word with "O" and "S" after a small letter or digit read as "0" and "5";
// empty when a capital after a small letter or digit remains, or the result has any
// capital, since then the case was not written by tesseract's misreading alone.
QByteArray lowerLookAlikes(QByteArrayView address)
{
    QByteArray out = address.toByteArray();
    for (qsizetype i = 1; i < out.size(); ++i) {
        // After the one before was read as a digit: "sOOn" is "s00n".
        if (!isUpper(address[i]) || !(isLower(out[i - 1]) || isDigit(out[i - 1])))
            continue;
        if (address[i] == 'O')
            out[i] = '0';
        else if (address[i] == 'S')
            out[i] = '5';
        else
            return {};
    }
    for (const char c : out) {
        if (isUpper(c))
            return {};
    }
    return out;
}

bool hasInnerCapital(QByteArrayView address)
{
    for (qsizetype i = 1; i < address.size(); ++i) {
        if (isUpper(address[i]) && (isLower(address[i - 1]) || isDigit(address[i - 1])))
            return true;
    }
    return false;
}

void fixLookAlikeCase(QByteArray &token)
{
    forEachWord(token, true, [&](qsizetype start, qsizetype end) {
        const QByteArrayView address = WithoutTrailingStops(QByteArrayView(token).sliced(start, end - start));
        if (address.contains('@') && IsValidEmail(address) && hasInnerCapital(address)) {
            const QByteArray fixed = lowerLookAlikes(address);
            // Same length either way: the text never grows.
            token.replace(start, address.size(),
                          IsValidEmail(fixed) ? fixed : QByteArray(address.size(), ' '));
        }
        return end;
    });
}

} // namespace

QByteArray RepairRecognisedText(QByteArrayView text, OcrRepairs repairs)
{
    if (!text.contains('@') || !repairs)
        return text.toByteArray();
    QByteArray out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i <= text.size()) {
        qsizetype end = text.indexOf('\n', i);
        if (end < 0)
            end = text.size();
        const QByteArrayView raw = text.sliced(i, end - i);
        if (raw.contains('@')) {
            Line line(raw);
            if (repairs & OcrRepair::Dashes) {
                for (QByteArray &token : line.tokens)
                    forEachAtWord(token, hyphens);
            }
            if (repairs & OcrRepair::AtSpacing)
                line = Line(withoutAtSpaces(line.text()));
            // Last, so that addresses mended above are judged too.
            if (repairs & OcrRepair::LookAlikeCase) {
                for (QByteArray &token : line.tokens)
                    fixLookAlikeCase(token);
            }
            out += line.text();
        } else {
            out += raw;
        }
        if (end < text.size())
            out += '\n';
        i = end + 1;
    }
    return out;
}

} // namespace pelmora
