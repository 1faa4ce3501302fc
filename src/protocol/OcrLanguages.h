#pragma once

// The OCR languages a request names, in tesseract's form, and the Debian packages that
// install them: the command checks them before a run, the worker before it loads them.

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// A request's languages in tesseract's form, "eng+deu" or "eng+~fra".
struct OcrLanguages
{
    std::string joined;               // as handed to tesseract; "eng" for an empty list
    std::vector<std::string> needed;  // the codes that must be installed, in order
    std::vector<std::string> invalid; // parts that are no language name
};

// Empty parts ("eng++deu") are dropped; a part with "~" names a language tesseract
// must not load, which therefore need not be installed; a list naming no language is
// "eng". A name is letters, digits, "_" and "-", with "/" between folder and name
// ("script/Latin"), so it never leaves the data folder.
OcrLanguages ParseOcrLanguages(std::string_view languages);

// Debian's package for a language: "tesseract-ocr-" and the code in lower case with
// "_" and "/" as "-" ("chi_sim": tesseract-ocr-chi-sim); for a script model,
// "tesseract-ocr-script-" and the script's code ("Latin": tesseract-ocr-script-latn).
std::string DebianPackageFor(std::string_view code);

// The ISO 15924 code, in lower case, of the script a script model reads ("Latin" and
// "script/Latin": "latn", "HanS_vert": "hans"; "Vietnamese": "viet", as Debian names it);
// empty for a language's model.
std::string_view ScriptCodeOf(std::string_view code);

} // namespace pelmora
