#pragma once

// Text recognition of one page: the engine that reads the PDF renders it grey,
// tesseract reads the picture.

#include "worker/OcrRules.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace pelmora::worker {

// Every setting of the recognition, in one place, so they can be tuned against a corpus
// (scripts/ocr-bench.sh: recall and precision of addresses on generated scans).
struct RecognitionSettings
{
    // Pages are rendered at this resolution, and tesseract is told it (400 and 600
    // dpi read fewer addresses).
    int dpi = 300;
    // A page larger than this many pixels (1 byte each) at that resolution is rendered
    // at a lower one: 40 million is about A2 at 300 dpi; A4 is 8.7 million.
    std::int64_t maxPixels = 40'000'000;
    // tesseract::PageSegMode; 3 is PSM_AUTO, the command's default (4, 6 and 11 were
    // no better).
    int pageSegMode = 3;
    // tesseract::OcrEngineMode; 3 is OEM_DEFAULT: what the language data supports.
    int engineMode = 3;
    // Tesseract variables, given while the model loads (some act only then).
    // lstm_use_matrix=0 keeps the dictionary out of the recogniser, which otherwise
    // turns names into words ("mail1" into "maill"): recall +0.03, precision +0.015.
    std::vector<std::pair<std::string, std::string>> variables{{"lstm_use_matrix", "0"}};
    // Words tesseract is less sure of than this (0 to 100) are blanked: on the corpus,
    // 50 raised precision from 0.75 to 0.82 for a recall of 0.61 instead of 0.68;
    // above 50 it mostly drops addresses read right.
    float minWordConfidence = 50;
};

// One byte of grey per pixel, each row `bytesPerLine` after the one before.
struct GreyPicture
{
    const unsigned char *pixels = nullptr;
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
};

// A page as recognition needs it, from whichever engine reads the PDF.
class RenderablePage
{
public:
    virtual ~RenderablePage() = default;
    // Width times height, in square points (1/72 inch), of the box the page is
    // rendered in; 0 when unknown.
    virtual double areaInPoints() = 0;
    // Renders the page as pdftoppm -gray does (white paper, anti-aliased, turned as the
    // page says) at `dpi` and hands the picture to `use` while it lives; `use` is not
    // called when the page cannot be rendered.
    virtual void renderGrey(double dpi, const std::function<void(const GreyPicture &)> &use) = 0;
};

// One tesseract instance for the life of the worker, made the first time a page is
// recognised and made again only for other languages.
class PageRecogniser
{
public:
    explicit PageRecogniser(RecognitionSettings settings = {});
    ~PageRecogniser();
    PageRecogniser(const PageRecogniser &) = delete;
    PageRecogniser &operator=(const PageRecogniser &) = delete;

    // The languages for the pages that follow ("eng+deu"; empty: "eng"). Checks that
    // they are installed without loading them; a message for the program when not.
    std::optional<std::string> useLanguages(std::string_view languages);

    // The page's recognised text in the shape of converted text (LF line ends, a form
    // feed at the end); nullopt when the page cannot be rendered, or tesseract cannot
    // start with the languages. Holds one page's picture at a time.
    std::optional<std::string> recognise(RenderablePage &page);

    // Tesseract instances made so far.
    int enginesMade() const { return m_enginesMade; }

private:
    struct Engine;
    Engine *engine();
    // The words of the page just recognised, with their confidences.
    static std::vector<RecognisedWord> words(tesseract::TessBaseAPI &api);

    RecognitionSettings m_settings;
    std::string m_languages = "eng";
    std::unique_ptr<Engine> m_engine;
    std::string m_failedLanguages; // tesseract could not start with these: not tried again
    int m_enginesMade = 0;
};

} // namespace pelmora::worker
