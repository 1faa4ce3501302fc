#pragma once

// Recognised text in the shape of converted text, for the pages the worker reads.

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

// Recognised text in the shape of a converted page: LF line ends, trailing empty (or
// blank) lines dropped, every line ended, one form feed at the end.
std::string PageTextFromRecognised(std::string_view recognised);

struct RecognisedWord
{
    std::string text;
    float confidence = 0; // tesseract's, 0 to 100
};

// `recognised` with each word that tesseract was less sure of than `minConfidence`
// turned into as many spaces as it has bytes: an unsure word in an address is more
// often a misreading ("mai11") than what is printed, and a made-up address is worse
// than a missed one. `words` are those of the text, in order; one not found is skipped.
std::string BlankUnsureWords(std::string recognised, const std::vector<RecognisedWord> &words,
                             float minConfidence);

} // namespace pelmora::worker
