#pragma once

// How the converter worker should run tesseract on a page without text, as measured by
// scripts/ocr-bench.sh on the scanned-page corpus (seeds 1 and 2). Plain data, so the
// worker can apply it without this header pulling tesseract in:
//
//   tesseract::TessBaseAPI api;
//   std::vector<std::string> names, values;
//   for (const auto &v : pelmora::kOcrSettings.initVariables) { names.push_back(v.name); values.push_back(v.value); }
//   // "Latin" when that model is installed and no other language was asked for, else "eng"
//   api.Init(nullptr, language, tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false);
//   api.SetPageSegMode(tesseract::PSM_AUTO);
//   ... page rendered by poppler at kOcrSettings.renderDpi, 8-bit grey, no other preparation;
//   the page text built from the ResultIterator word by word as GetUTF8Text() does
//   (words joined by one space, LF after each line, one more after each paragraph), every
//   word whose Confidence(RIL_WORD) is below kOcrSettings.minWordConfidence replaced by
//   as many spaces as it has bytes; then RepairRecognisedText() (kDefaultOcrRepairs)
//   before extraction. The worker may instead send each word with its confidence and
//   let the engine blank them; either way only the blanked text is searched.

#include <string_view>

namespace pelmora {

struct OcrVariable
{
    const char *name;
    const char *value;
};

struct OcrSettings
{
    // Pages are rendered at this resolution (300 measured best; 400 and 600 lost recall).
    int renderDpi = 300;
    // Given to TessBaseAPI::Init, not SetVariable: they only act while the model loads.
    // lstm_use_matrix=0 keeps the word lists out of the recognizer, which otherwise
    // pull "mail1" to "maill" (recall +0.03, precision +0.01 for eng; the CLI's
    // "-c lstm_use_matrix=0" does not reach the loader, so ocr-eval.py strips the
    // lists from a copy of the model instead, which gives the same text).
    // load_system_dawg=0 and the like change nothing for the LSTM recognizer.
    OcrVariable initVariables[1] = {{"lstm_use_matrix", "0"}};
    // Default page segmentation (PSM_AUTO): 4, 6 and 11 measured no better.
    // No image preparation: unsharp masking, Sauvola thresholding and upscaling were
    // measured and did not pay.
    // Words tesseract is less sure of than this (0-100, Confidence(RIL_WORD)) are
    // blanked. With Latin, seeds 1 and 2: 0 -> recall 0.730, precision 0.799; 30 ->
    // 0.711, 0.817; 40 -> 0.693, 0.838; 50 -> 0.665, 0.864; 60 -> about 0.62, 0.87.
    // Up to 50 each step drops a few more wrong addresses than right ones; above it
    // mostly right ones. Symbol confidences and LSTM alternatives separated worse.
    int minWordConfidence = 50;
};

inline constexpr OcrSettings kOcrSettings{};

// Tesseract's Latin-script model (Debian: tesseract-ocr-script-latn) reads letters and
// digits mixed in names far better than eng (recall 0.645 -> 0.720, precision 0.706 ->
// 0.780, both without word lists); use it when installed and the user asked for no
// other language, else eng.
inline constexpr std::string_view kPreferredOcrLanguage = "Latin";
inline constexpr std::string_view kFallbackOcrLanguage = "eng";

} // namespace pelmora
