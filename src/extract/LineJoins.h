#pragma once

#include <QByteArrayView>

namespace pelmora {

// What the text around a line end tells about an address broken there (AddressRule::
// BrokenLines; AddressRepairs.h says when a join is made). Positions are byte offsets
// into the text of one or more pages (pages end with a form feed).

// Where the next line's first word starts when only spaces and one line break follow
// text[end]; -1 when the paragraph, the page or the text ends there.
qsizetype NextLineStart(QByteArrayView text, qsizetype end);
// Where the last word of the line before ends when only spaces and one line break stand
// before text[start]; -1 when the word starts a paragraph, a page or the text.
qsizetype PreviousLineEnd(QByteArrayView text, qsizetype start);

// "thorsten." of "<thorsten." / "schwander@gmail.com" or "Tomas Hnizdil, tomash." /
// "cz@gmail.com": lower-case names of two letters or more, each followed by a dot, after
// punctuation or a bracket as an address stands in a list, in text[start, end).
bool IsLocalPartHead(QByteArrayView text, qsizetype start, qsizetype end);
// "a.dimitriadis" of "a.dimitriadis" / "@uu.nl": a word with a dot, "_", "+" or a digit,
// which prose words are not ("Bluesky" / "@pelmora.bsky.social" is a handle).
bool LooksLikeLocalPart(QByteArrayView head);
// "In" after "g@latitude.": a sentence's first word, not the rest of a domain.
bool StartsASentence(QByteArrayView tail);

// Evidence that text[headStart, headEnd) on one line and text[tailStart, tailEnd) on the
// next are one word: an opening bracket right before the head whose closing one stands
// right after the tail ("<thorsten." / "schwander@gmail.com>"), or a piece of the name at
// the break (the head's last, the tail's first, split at ".", "_", "-", "+") written just
// before the head as a word, or as a word and the next one's initial or the other way round
// ("Matthias Eisner, matthias." / "eisner@ethz.ch", "Tomas Hnizdil, tomash." / "cz@gmail.com").
bool JoinedByEvidence(QByteArrayView text, qsizetype headStart, qsizetype headEnd, qsizetype tailStart,
                      qsizetype tailEnd);

// The wrap column of hard-wrapped text, page by page: the length (in characters, spaces
// at the end left out) of a page's longest lines, where at least two lines reach it. A
// printout (enscript, a2ps, a mail printed as it is) cuts its long lines there, inside a
// word, without a hyphen. Reckoned once per page, when first asked.
class WrapColumns
{
public:
    explicit WrapColumns(QByteArrayView text) : m_text(text) {}
    // Whether the line that ends at text[end] (exclusive; a line break right after it)
    // runs to its page's wrap column.
    bool runsToWrapColumn(qsizetype end);

private:
    QByteArrayView m_text;
    qsizetype m_pageStart = -1; // the page last reckoned
    qsizetype m_column = -1;    // 0: the page has none
};

} // namespace pelmora
