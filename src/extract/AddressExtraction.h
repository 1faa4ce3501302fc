#pragma once

#include "extract/AddressRules.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QStringList>

#include <memory>
#include <vector>

namespace pelmora {

// Converted text is handled as bytes: every character an address may hold is ASCII,
// so no decoding is needed to find addresses, and a non-ASCII byte inside a word
// makes that word fail the pattern as it should.

// True when the whole word matches the address pattern.
bool IsValidEmail(QByteArrayView word);

// True when some run could give the word as an address: it matches the pattern (with "+"
// in the local part), or does but for a top-level domain in punycode ("xn--p1ai").
bool IsAddressOfARun(QByteArrayView word);

// The addresses met so far, compared without regard to letter case, with how often
// each was met. Move-only: the keys live in blocks of its own, which a million addresses
// fill at less than half the cost of a string each.
class SeenAddresses
{
public:
    SeenAddresses() = default;
    SeenAddresses(SeenAddresses &&) noexcept = default;
    SeenAddresses &operator=(SeenAddresses &&) noexcept = default;
    SeenAddresses(const SeenAddresses &) = delete;
    SeenAddresses &operator=(const SeenAddresses &) = delete;
    ~SeenAddresses();

    // Counts `times` more sightings of the address; true when it was not seen before.
    bool insert(QByteArrayView address, int times = 1);
    bool insert(QStringView address, int times = 1);
    // The sightings of the address so far; 0 when it was never seen.
    int count(QByteArrayView address) const;
    int count(QStringView address) const;
    qsizetype size() const { return m_counts.size(); }
    // Every sighting counted here from now on is counted in `also` too, as one file's
    // tally counts into the run's; nullptr: no longer. `also` must outlive this.
    void countAlsoIn(SeenAddresses *also) { m_also = also; }

private:
    friend class AddressTaker;
    // `times` more sightings of a lower-case key that is here already; false when it is not.
    bool countMore(QByteArrayView key, int times);
    // `times` sightings of a lower-case key that is not here yet.
    void add(QByteArrayView key, int times);
    // Sightings of a lower-case key, new or not; true when it is new.
    bool tally(QByteArrayView key, int times);
    QByteArrayView keep(QByteArrayView key);

    QHash<QByteArrayView, int> m_counts; // keys viewed in m_blocks
    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_blockFree = 0;
    SeenAddresses *m_also = nullptr;
};

// The addresses of `text` that `seen` does not hold yet, in order of first appearance
// and in the letter case written; every sighting, old or new, is counted in `seen`.
// The text is cut into words at the boundaries of WordBoundaries.h, a word with "@"
// and "." drops the full stops that end a sentence, and what is left must match the
// address pattern whole and pass `rules` (all but Disguised, see ExtractDisguised).
// An address the rules turn away is not counted. `repairs`, when given, gets for each
// address the repairs that made it (AddressRepairs.h; none for most).
// Holds no state of its own, so several threads may call it with sets of their own.
QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen, const AddressRules &rules,
                                QList<AddressRuleSet> *repairs = nullptr);

} // namespace pelmora
