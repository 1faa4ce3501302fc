#include "extract/LineJoins.h"

#include "extract/WordBoundaries.h"

#include <QVarLengthArray>

#include <algorithm>

namespace pelmora {

namespace {

bool isHorizontalSpace(char c)
{
    return c == ' ' || c == '\t';
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isNameSeparator(char c)
{
    return c == '.' || c == '_' || c == '-' || c == '+' || c == '@';
}

// Characters, not bytes: a UTF-8 sequence counts once.
qsizetype characters(QByteArrayView text)
{
    return std::count_if(text.begin(), text.end(),
                         [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

QByteArrayView withoutTrailingSpace(QByteArrayView line)
{
    while (!line.isEmpty() && (isHorizontalSpace(line.back()) || line.back() == '\r'))
        line.chop(1);
    return line;
}

// How far before a broken name its writer's name is looked for: the line before, about.
constexpr qsizetype kNameReach = 120;

// Whether `piece` is a name written in the words just before text[before]: a word itself
// ("eisner" of "Matthias Eisner"), a word and the next one's initial ("tomash" of "Tomas
// Hnizdil"), or a word's initial and the next one ("thnizdil").
bool writtenBefore(QByteArrayView text, qsizetype before, QByteArrayView piece)
{
    if (piece.size() < 2)
        return false;
    const qsizetype from = std::max(text.first(before).lastIndexOf('\f') + 1, before - kNameReach);
    QVarLengthArray<QByteArrayView, 16> words; // the last first
    for (qsizetype i = before; i > from;) {
        qsizetype end = i;
        while (end > from && !isAsciiLetter(text[end - 1]))
            --end;
        qsizetype start = end;
        while (start > from && isAsciiLetter(text[start - 1]))
            --start;
        if (start == end)
            break;
        words.append(text.sliced(start, end - start));
        i = start;
    }
    const auto same = [](QByteArrayView a, QByteArrayView b) {
        return a.compare(b, Qt::CaseInsensitive) == 0;
    };
    for (qsizetype k = 0; k < words.size(); ++k) {
        if (same(words[k], piece))
            return true;
        if (k == 0)
            continue;
        const QByteArrayView first = words[k];
        const QByteArrayView next = words[k - 1];
        if ((piece.size() == first.size() + 1 && same(piece.first(first.size()), first) &&
             same(piece.sliced(first.size()), next.first(1))) ||
            (piece.size() == next.size() + 1 && same(piece.first(1), first.first(1)) &&
             same(piece.sliced(1), next)))
            return true;
    }
    return false;
}

} // namespace

qsizetype NextLineStart(QByteArrayView text, qsizetype end)
{
    qsizetype i = end;
    while (i < text.size() && isHorizontalSpace(text[i]))
        ++i;
    if (i < text.size() && text[i] == '\r')
        ++i;
    if (i >= text.size() || text[i] != '\n')
        return -1;
    ++i;
    while (i < text.size() && isHorizontalSpace(text[i]))
        ++i;
    return i < text.size() && !IsAsciiBoundary(text[i]) ? i : -1;
}

qsizetype PreviousLineEnd(QByteArrayView text, qsizetype start)
{
    qsizetype i = start;
    while (i > 0 && isHorizontalSpace(text[i - 1]))
        --i;
    if (i == 0 || text[i - 1] != '\n')
        return -1;
    --i;
    if (i > 0 && text[i - 1] == '\r')
        --i;
    while (i > 0 && isHorizontalSpace(text[i - 1]))
        --i;
    return i > 0 && !IsAsciiBoundary(text[i - 1]) ? i : -1;
}

bool IsLocalPartHead(QByteArrayView text, qsizetype start, qsizetype end)
{
    qsizetype before = start;
    while (before > 0 && isHorizontalSpace(text[before - 1]))
        --before;
    if (before > 0 && !QByteArrayView(",;:<([\n").contains(text[before - 1]))
        return false;
    const QByteArrayView head = text.sliced(start, end - start);
    if (!head.endsWith('.'))
        return false;
    qsizetype name = 0;
    for (const char c : head) {
        if (c == '.') {
            if (name < 2)
                return false;
            name = 0;
        } else if (c >= 'a' && c <= 'z') {
            ++name;
        } else {
            return false;
        }
    }
    return true;
}

bool LooksLikeLocalPart(QByteArrayView head)
{
    return std::any_of(head.begin(), head.end(),
                       [](char c) { return c == '.' || c == '_' || c == '+' || (c >= '0' && c <= '9'); });
}

bool StartsASentence(QByteArrayView tail)
{
    return tail.size() >= 2 && tail[0] >= 'A' && tail[0] <= 'Z' && tail[1] >= 'a' && tail[1] <= 'z';
}

bool JoinedByEvidence(QByteArrayView text, qsizetype headStart, qsizetype headEnd, qsizetype tailStart,
                      qsizetype tailEnd)
{
    if (headStart > 0 && tailEnd < text.size()) {
        const qsizetype bracket = QByteArrayView("<([").indexOf(text[headStart - 1]);
        if (bracket >= 0 && text[tailEnd] == QByteArrayView(">)]")[bracket])
            return true;
    }
    QByteArrayView head = text.sliced(headStart, headEnd - headStart);
    while (head.endsWith('.'))
        head.chop(1);
    qsizetype cut = head.size();
    while (cut > 0 && !isNameSeparator(head[cut - 1]))
        --cut;
    const QByteArrayView tail = text.sliced(tailStart, tailEnd - tailStart);
    qsizetype tailPiece = 0;
    while (tailPiece < tail.size() && !isNameSeparator(tail[tailPiece]))
        ++tailPiece;
    return writtenBefore(text, headStart, head.sliced(cut)) ||
           writtenBefore(text, headStart, tail.first(tailPiece));
}

bool WrapColumns::runsToWrapColumn(qsizetype end)
{
    // Printouts are 60 columns wide or more; a shorter "column" is a page of a few lines.
    constexpr qsizetype kNarrowestWrap = 40;
    const bool lineBreak =
        end < m_text.size() && (m_text[end] == '\n' || m_text.sliced(end).startsWith("\r\n"));
    if (!lineBreak)
        return false;
    const qsizetype pageStart = m_text.first(end).lastIndexOf('\f') + 1;
    if (pageStart != m_pageStart) {
        qsizetype pageEnd = m_text.indexOf('\f', end);
        if (pageEnd < 0)
            pageEnd = m_text.size();
        qsizetype longest = 0;
        qsizetype reaching = 0;
        for (qsizetype lineStart = pageStart; lineStart < pageEnd;) {
            qsizetype lineEnd = m_text.indexOf('\n', lineStart);
            if (lineEnd < 0 || lineEnd > pageEnd)
                lineEnd = pageEnd;
            const qsizetype length =
                characters(withoutTrailingSpace(m_text.sliced(lineStart, lineEnd - lineStart)));
            if (length > longest)
                longest = length, reaching = 0;
            if (length == longest)
                ++reaching;
            lineStart = lineEnd + 1;
        }
        m_pageStart = pageStart;
        m_column = reaching >= 2 && longest >= kNarrowestWrap ? longest : 0;
    }
    const qsizetype lineStart = std::max(pageStart, m_text.first(end).lastIndexOf('\n') + 1);
    return m_column > 0 && characters(m_text.sliced(lineStart, end - lineStart)) == m_column;
}

} // namespace pelmora
