#pragma once

// The vote over several readings of one piece of a line that holds an address: which
// characters the readings agree on, which addresses that makes, and which of them are
// sure enough to hand on. Needs no engine: the readings come from PageRecogniser.

#include "extract/AddressRules.h"

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

// One reading of the piece (one picture variant, one model).
struct Reading
{
    std::string text; // ASCII: anything else reads as '?', which no address holds
    // Per byte of `text`: the height of the glyph's ink in the reading's picture, in
    // pixels; 0 where unknown (spaces, glyphs the engine gave no box).
    std::vector<int> heights;
    // The height of the small letters in the same picture; 0 when unknown.
    double xHeight = 0;
};

struct VotedAddress
{
    std::string address;
    bool sure = false;
    double agreement = 0; // the least share of readings that agreed at any of its places
    // For an unsure address: what single readings made of it instead, each once.
    std::vector<std::string> alternatives;
};

struct PieceVote
{
    // The voted text with every address that is not sure blanked (spaces), so it can
    // stand in the page's text.
    std::string text;
    // In order; a piece whose readings hold addresses but whose vote makes none has
    // one unsure address, the first reading's.
    std::vector<VotedAddress> addresses;
};

struct VoteRules
{
    // An address is sure when, at each of its characters and at its two ends, at least
    // this share of the readings agree with the vote: four of the worker's five. Chosen
    // on scans of real manuals, where it keeps precision at 1.00 and reads 0.86 of the
    // addresses (unanimity: 0.60 to 0.72); on the letters of random letter-digit names,
    // which no vote settles, precision falls from 0.91 to 0.89 (scripts/ocr-bench.sh).
    double agreement = 0.8;
    // A glyph shorter than this many x-heights is a small "o", taller than `tall` a
    // zero (or capital O): the small letter and the digit differ mostly in height.
    double small = 1.15;
    double tall = 1.25;
    // The run's address rules, by which the readings' addresses are read, as a page's text is.
    AddressRules addresses;
};

// Votes character by character over the readings, each aligned to the one nearest to
// all others. Every reading is mended first: an at-sign read as "Q" (AtSignsReadAsQ),
// and the spaces beside an at-sign or a wide dot closed by the recognised-text repair's
// rule (AtSpacesToClose, names that may be tails too). Where the readings disagree
// between "o" and "0", the glyphs' heights decide; a unanimous "o" or "0" whose glyph has
// the other's height makes its address unsure, and so do a letter read in both cases
// whose cases differ in shape, a digit read by some as the letter it looks like ("1"
// and "l"), a lone capital I and a name that may be the tail of a split one or of a
// mail route (after a glyph some read as a route's "%" or a "#"). A mark that some
// readings take for a letter and others for punctuation goes from the front of an
// address.
PieceVote VoteReadings(std::vector<Reading> readings, const VoteRules &rules = {});

} // namespace pelmora::worker
