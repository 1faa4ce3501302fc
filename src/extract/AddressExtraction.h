#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
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
    qsizetype size() const { return m_count; }

private:
    // Keys are the lower-case forms in UTF-8, kept one after another in m_text and found
    // through an open-addressing table that holds their hashes: a look-up compares
    // bytes only on a full hash match, and a key that is met again costs no allocation.
    struct Slot
    {
        size_t hash = 0;
        qsizetype offset = -1; // into m_text; -1 marks a free slot
        qsizetype length = 0;
    };
    friend QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen);
    qsizetype slotFor(QByteArrayView key, size_t hash) const; // the key's slot, or the free one it would take
    bool containsKey(QByteArrayView key, size_t hash) const;
    bool insertKey(QByteArrayView key, size_t hash);
    void grow();

    QList<Slot> m_slots;
    QByteArray m_text;
    qsizetype m_count = 0;
};

// The new addresses of `text` for the run that owns `seen`, in order of first appearance,
// in the letter case written.
QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen);

// The addresses of `candidates` (already validated, in order) not yet in `seen`.
QStringList KeepUnseen(const QStringList &candidates, SeenAddresses &seen);

} // namespace pelmora
