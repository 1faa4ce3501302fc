#pragma once

// Where tesseract's language data is and which languages it holds.

#include "protocol/OcrLanguages.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::worker {

// Sends tesseract's and leptonica's messages nowhere; they would go to standard error.
void QuietTesseract();

// The folder tesseract reads its language data from, as it decides it: TESSDATA_PREFIX,
// else the folder it was built with (Debian: /usr/share/tesseract-ocr/5/tessdata/).
// Ends with "/"; decided once per process.
const std::string &TessdataFolder();

// The languages installed in the folder (subfolders too, as "script/Latin"), sorted,
// "osd" left out, as tesseract lists them; empty when the folder cannot be read.
std::vector<std::string> InstalledLanguages(const std::string &folder);

// Why the languages cannot be used (a name that is none, a language not installed,
// naming its Debian package), or nullopt when every one is there.
std::optional<std::string> LanguageProblem(const OcrLanguages &languages, const std::string &folder);

// pelmora-convert --ocr-languages: the installed languages, one per line; status 1 and
// a message on standard error when there are none.
int PrintOcrLanguages();

// pelmora-convert --ocr-data LANGS, after the versions: the data file of each language
// tesseract would load for LANGS, one per line: its path, size and modification time in
// nanoseconds ("missing" for a file that is not there). What changes when a language's
// data does.
int PrintOcrData(std::string_view languages);

} // namespace pelmora::worker
