#pragma once

#include "extract/AddressRules.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QStringList>

namespace pelmora {

// Converted text is handled as bytes: every character an address may hold is ASCII,
// so no decoding is needed to find addresses, and a non-ASCII byte inside a word
// makes that word fail the pattern as it should.

// True when the whole word matches the address pattern.
bool IsValidEmail(QByteArrayView word);

// The addresses met so far, compared without regard to letter case, with how often
// each was met.
class SeenAddresses
{
public:
    // Counts `times` more sightings of the address; true when it was not seen before.
    bool insert(QByteArrayView address, int times = 1);
    // The sightings of the address so far; 0 when it was never seen.
    int count(QByteArrayView address) const;
    qsizetype size() const { return m_counts.size(); }

private:
    friend class AddressTaker;
    // Keys are the lower-case addresses.
    QHash<QByteArray, int> m_counts;
};

// The addresses of `text` that `seen` does not hold yet, in order of first appearance
// and in the letter case written; every sighting, old or new, is counted in `seen`.
// The text is cut into words at the boundaries of WordBoundaries.h, a word with "@"
// and "." drops the full stops that end a sentence, and what is left must match the
// address pattern whole and pass `rules` (all but Disguised, see ExtractDisguised).
// An address the rules turn away is not counted.
// Holds no state of its own, so several threads may call it with sets of their own.
QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen, const AddressRules &rules);

} // namespace pelmora
