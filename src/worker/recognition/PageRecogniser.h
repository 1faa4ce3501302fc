#pragma once

// Text recognition of one page: the engine that reads the PDF renders it grey,
// tesseract reads the picture.

#include "worker/recognition/AddressVote.h"
#include "worker/recognition/OcrRules.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct Pix;

namespace pelmora::worker {

// The pictures of a piece of a line that are read again, besides the page's reading.
enum class PieceVariant
{
    Grey,        // as the page was rendered
    Scaled,      // scaled so capitals are RecognitionSettings::capitalPixels high
    Binarised,   // Sauvola's threshold
    SecondModel, // as rendered, read by RecognitionSettings::secondModel
};

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
    // A picture on the page that declares more pixels than this is left out, undecoded:
    // 400 million is a 1200 dpi scan of A3 with room to spare, and decoding it takes a few
    // seconds; one that declares a million by a million pixels would take days.
    std::int64_t maxImagePixels = 400'000'000;
    // tesseract::PageSegMode; 3 is PSM_AUTO, the command's default (4, 6 and 11 were
    // no better).
    int pageSegMode = 3;
    // tesseract::OcrEngineMode; 3 is OEM_DEFAULT: what the language data supports.
    int engineMode = 3;
    // Tesseract variables, given while the model loads (some act only then).
    // lstm_use_matrix=0 keeps the dictionary out of the recogniser, which otherwise
    // turns names into words ("mail1" into "maill"): recall +0.03, precision +0.015.
    // tessedit_do_invert=0: no second reading of unsure lines in inverted colours,
    // which scans of print do not need (a tenth of the time).
    std::vector<std::pair<std::string, std::string>> variables{{"lstm_use_matrix", "0"},
                                                               {"tessedit_do_invert", "0"}};
    // Words tesseract is less sure of than this (0 to 100) are blanked: on the corpus,
    // 50 raised precision from 0.75 to 0.82 for a recall of 0.61 instead of 0.68;
    // above 50 it mostly drops addresses read right.
    float minWordConfidence = 50;
    // Each piece of a line that holds an at-sign is cut out and read again in these
    // variants, and the readings (with the page's own) vote (AddressVote.h). With all
    // five, a majority can outvote one misreading, where two readings can only disagree;
    // the pieces are small, so the re-reads cost little beside the page
    // (scripts/ocr-bench.sh prints every combination).
    std::vector<PieceVariant> variants{PieceVariant::Grey, PieceVariant::Scaled, PieceVariant::Binarised,
                                       PieceVariant::SecondModel};
    // In their place where the second model is not installed (or is the page's language).
    std::vector<PieceVariant> withoutSecondModel{PieceVariant::Grey, PieceVariant::Scaled,
                                                 PieceVariant::Binarised};
    // Capitals are about this many pixels high in the scaled variant.
    double capitalPixels = 30;
    // A glyph at the front of a word whose ink is centred more than this many x-heights
    // above the baseline is a raised mark, not part of an address: a footnote's dagger or
    // asterisk sits about one x-height up, a capital's middle about 0.7.
    double raisedMark = 0.9;
    // The second model, when installed and not the page's language: tesseract's
    // Latin-script model errs elsewhere than eng.
    std::string secondModel = "Latin";
    VoteRules vote;
};

// The variant's name in measurements: "grey", "scaled", "binarised", or the second
// model's.
std::string VariantName(PieceVariant variant, const RecognitionSettings &settings);

// One piece read again: each reading by its variant's name ("page" first) and the vote.
struct PieceReadings
{
    std::vector<std::pair<std::string, Reading>> readings;
    PieceVote vote;
};

// What the worker hands on for a recognised page.
struct RecognisedPage
{
    // In the shape of converted text, each address the readings were not sure of blanked.
    std::string text;
    // Those addresses, each once, in the order read, with what single readings made of
    // them: the run may still count, confirm or list them.
    std::vector<VotedAddress> unsureAddresses;
    // Every piece read again, for measuring the variants (scripts/ocr-bench.sh).
    std::vector<PieceReadings> pieces;
};

// One byte of grey per pixel, each row `bytesPerLine` after the one before.
struct PageBitmap
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
    // called when the page cannot be rendered. A picture of more than `maxImagePixels`
    // pixels is left out before it is decoded, where the engine can tell its size.
    virtual void renderGrey(double dpi, std::int64_t maxImagePixels,
                            const std::function<void(const PageBitmap &)> &use) = 0;
    // What the renderings so far left out or could not draw, in words for the user; empty
    // when nothing.
    virtual std::string leftOut() const { return {}; }
};

// One tesseract instance for the life of the worker, made the first time a page is
// recognised and made again only for other languages; a second one with the second
// model, made the first time an address is read again.
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
    // The run's address rules, by which the pages that follow are read.
    void useAddressRules(AddressRules rules);

    // The page's recognised text and unsure addresses; nullopt when the page cannot be
    // rendered, or tesseract cannot start with the languages. Holds one page's picture
    // at a time.
    std::optional<RecognisedPage> recognise(RenderablePage &page);

private:
    struct Engine;
    std::unique_ptr<Engine> makeEngine(const std::string &languages) const;
    Engine *engine();
    // The second model, made the first time it is needed; nullptr when not installed.
    Engine *secondEngine();
    // Reads each piece again in every variant and votes.
    std::vector<PieceReadings> reread(Pix *page, int dpi, const std::vector<PageWord> &words,
                                      const std::vector<LineShape> &lines,
                                      const std::vector<AddressPiece> &pieces);

    RecognitionSettings m_settings;
    std::string m_languages = "eng";
    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<Engine> m_second;
    bool m_secondTried = false;
    std::string m_failedLanguages; // tesseract could not start with these: not tried again
    int m_enginesMade = 0;         // the instances made so far, for the log
};

} // namespace pelmora::worker
