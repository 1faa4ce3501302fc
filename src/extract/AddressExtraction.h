#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QSet>
#include <QStringList>

namespace pelmora {

// Converted text is handled as bytes: every character an address may hold is ASCII,
// so no decoding is needed to find addresses, and a non-ASCII byte inside a word
// makes that word fail the pattern as it should.

// The 27 punctuation characters blanked before words are cut, each replaced by one space.
QByteArray CleanPunctuation(QByteArrayView text);

// The candidate words of cleaned text, in text order: stretches between separators
// (CR, LF, TAB, space, form feed) holding at least one "@" and one ".", each without
// the run of full stops that may end it (the end of a sentence).
QList<QByteArrayView> SplitCandidates(QByteArrayView cleaned);

// True when the whole word matches the address pattern.
bool IsValidEmail(QByteArrayView word);

// Every valid address of raw text in order of appearance, duplicates kept.
// Holds no state, so several threads may call it at once.
QStringList ValidAddresses(QByteArrayView text);

// The addresses a run has produced so far, compared without regard to letter case.
class SeenAddresses
{
public:
    // True, and the address remembered, when it was not seen before.
    bool insert(const QString &address);
    qsizetype size() const { return m_keys.size(); }

private:
    // Lower-case keys, as bytes: every accepted address is ASCII.
    friend QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen);
    bool contains(const QByteArray &key) const { return m_keys.contains(key); }
    bool insertKey(const QByteArray &key);

    QSet<QByteArray> m_keys;
};

// The new addresses of `text` for the run that owns `seen`, in order of first appearance,
// in the letter case written.
QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen);

// The addresses of `candidates` (already validated, in order) not yet in `seen`.
QStringList KeepUnseen(const QStringList &candidates, SeenAddresses &seen);

} // namespace pelmora
