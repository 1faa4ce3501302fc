#pragma once

// Recognised text in the shape of converted text, for the pages the worker reads, and
// the rules for finding the words of a page that hold addresses (no engine needed).

#include "extract/AddressRules.h"
#include "worker/recognition/LinePictures.h"

#include <QStringList>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

// Recognised text in the shape of a converted page: LF line ends, trailing empty (or
// blank) lines dropped, every line ended, one form feed at the end.
std::string PageTextFromRecognised(std::string_view recognised);

// A word of a page as tesseract read it, in reading order.
struct PageWord
{
    std::string text;
    float confidence = 0; // tesseract's, 0 to 100
    PixelRect box;        // in page pixels
    int line = 0;         // the page's lines in reading order, from 0
    bool startsLine = false;
    bool startsParagraph = false;
};

// The words in the shape tesseract gives a page's text (words of a line joined by a
// space, each line ended, an empty line after each paragraph), with each word that
// tesseract was less sure of than `minConfidence` turned into as many spaces as it has
// bytes: an unsure word in an address is more often a misreading ("mai11") than what
// is printed, and a made-up address is worse than a missed one. A word with an entry
// in `replaced` is written as that instead (empty: left out).
std::string PageTextOfWords(const std::vector<PageWord> &words, float minConfidence,
                            const std::map<std::size_t, std::string> &replaced = {});

// Words of one line of print that hold an address: a word with an at-sign and the
// words that read on from it, which the page's layout may have put on another line
// ("name@" ... "example.com") or split off ("name @example.com").
struct AddressPiece
{
    std::vector<std::size_t> words; // indexes into the page's words, left to right
    PixelRect box;                  // of all of them
    int line = 0;                   // of the word with the at-sign
};

// The addresses a run would find in recognised text by `rules`, the run's address rules,
// each once.
QStringList AddressesIn(std::string_view text, const AddressRules &rules = {});

// Some fonts' at-sign reads as "Q": "krisroseQtug.org", "rstepanyanQ@yahoo.com". Where
// a Q of `text` is an at-sign: a Q right after a small letter or digit and before an
// at-sign is a second glyph read from it and goes; one between small letters or digits in
// a word without an at-sign is one where the word then holds an address by `rules`. In
// ascending order.
struct AtReadAsQ
{
    std::size_t at = 0;
    bool extra = false; // the Q goes, else it becomes "@"
};
std::vector<AtReadAsQ> AtSignsReadAsQ(std::string_view text, const AddressRules &rules = {});

// `text` with those Qs mended.
std::string WithAtSignsReadAsQ(std::string text, const AddressRules &rules = {});

// `lines` gives each line's x-height, which scales the gaps that join words; a word holds
// an at-sign, or a Q that is one by `rules`.
std::vector<AddressPiece> FindAddressPieces(const std::vector<PageWord> &words,
                                            const std::vector<LineShape> &lines,
                                            const AddressRules &rules = {});

} // namespace pelmora::worker
