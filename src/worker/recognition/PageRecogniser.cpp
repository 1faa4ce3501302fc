#include "worker/recognition/PageRecogniser.h"

#include "protocol/OcrLanguages.h"
#include "worker/recognition/LinePictures.h"
#include "worker/recognition/OcrRules.h"
#include "worker/recognition/TessData.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace pelmora::worker {

namespace {

// The resolution for the page: the settings' own, lower for a page so large that its
// picture would pass the bound.
double renderDpi(RenderablePage &page, const RecognitionSettings &settings)
{
    const double squareInches = page.areaInPoints() / (72.0 * 72.0);
    const double dpi = settings.dpi;
    if (!(squareInches > 0) || !std::isfinite(squareInches))
        return dpi;
    const double pixels = squareInches * dpi * dpi;
    if (pixels <= static_cast<double>(settings.maxPixels))
        return dpi;
    return std::sqrt(static_cast<double>(settings.maxPixels) / squareInches);
}

// The words of the page just read, and the shape of each of its lines.
void readLayout(tesseract::TessBaseAPI &api, std::vector<PageWord> &words, std::vector<LineShape> &lines)
{
    const std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return;
    do {
        // A picture or an empty page has no row to ask about.
        if (it->Empty(tesseract::RIL_WORD))
            continue;
        const bool startsLine = it->IsAtBeginningOf(tesseract::RIL_TEXTLINE);
        if (startsLine || lines.empty()) {
            float rowHeight = 0;
            float descenders = 0;
            float ascenders = 0;
            it->RowAttributes(&rowHeight, &descenders, &ascenders);
            LineShape line;
            line.xHeight = rowHeight - ascenders + descenders;
            line.ascender = ascenders;
            line.descender = -descenders;
            int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            it->Baseline(tesseract::RIL_TEXTLINE, &x1, &y1, &x2, &y2);
            line.x1 = x1;
            line.y1 = y1;
            line.x2 = x2;
            line.y2 = y2;
            lines.push_back(line);
        }
        const std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        if (!text)
            continue;
        PageWord word;
        word.text = text.get();
        word.confidence = it->Confidence(tesseract::RIL_WORD);
        it->BoundingBox(tesseract::RIL_WORD, &word.box.left, &word.box.top, &word.box.right,
                        &word.box.bottom);
        word.line = int(lines.size()) - 1;
        word.startsLine = startsLine;
        word.startsParagraph = it->IsAtBeginningOf(tesseract::RIL_PARA);
        words.push_back(std::move(word));
    } while (it->Next(tesseract::RIL_WORD));
}

bool isSmallLetter(char c)
{
    return std::string_view("acemnrsuvwxz").find(c) != std::string_view::npos;
}

template <typename T> T median(std::vector<T> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

struct Glyph
{
    char c = 0;
    PixelRect box; // the engine's
    PixelRect ink; // the blot most within it; empty when unknown
    bool startsWord = false;
};

// The glyphs of a piece read in single-line mode, each with its ink.
std::vector<Glyph> readGlyphs(tesseract::TessBaseAPI &api, Pix *piece, int dpi)
{
    api.SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    api.SetImage(piece);
    api.SetSourceResolution(dpi);
    std::vector<Glyph> glyphs;
    if (api.Recognize(nullptr) != 0)
        return glyphs;
    const std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return glyphs;
    const GlyphBlots blots(piece);
    do {
        const std::unique_ptr<char[]> symbol(it->GetUTF8Text(tesseract::RIL_SYMBOL));
        if (!symbol || !*symbol.get())
            continue;
        // One byte a glyph: an address is ASCII, anything else is no part of one.
        const unsigned char first = static_cast<unsigned char>(symbol[0]);
        Glyph glyph;
        glyph.c = first < 0x80 && symbol[1] == '\0' ? char(first) : '?';
        glyph.startsWord = it->IsAtBeginningOf(tesseract::RIL_WORD);
        it->BoundingBox(tesseract::RIL_SYMBOL, &glyph.box.left, &glyph.box.top, &glyph.box.right,
                        &glyph.box.bottom);
        glyph.ink = blots.of(glyph.box);
        glyphs.push_back(glyph);
    } while (it->Next(tesseract::RIL_SYMBOL));
    return glyphs;
}

// The middle of a glyph's ink, or of the engine's box when the ink is unknown.
double middle(const Glyph &glyph)
{
    const PixelRect &rect = glyph.ink.width() > 0 ? glyph.ink : glyph.box;
    return (rect.left + rect.right) / 2.0;
}

// The pitch of a typewriter font: 11 in 20 neighbouring glyphs of a word or more are that
// far apart, give or take 3 in 20, and the dots inside words are at least 17 in 20 of it
// from theirs (in other fonts a dot is narrow); 0 for any other font.
double typewriterPitch(const std::vector<Glyph> &glyphs)
{
    std::vector<double> steps;
    std::vector<double> dotSteps;
    for (std::size_t i = 1; i < glyphs.size(); ++i) {
        if (glyphs[i].startsWord)
            continue;
        steps.push_back(middle(glyphs[i]) - middle(glyphs[i - 1]));
        if (glyphs[i].c == '.' || glyphs[i - 1].c == '.')
            dotSteps.push_back(steps.back());
    }
    if (steps.size() < 8 || dotSteps.size() < 2)
        return 0;
    const double pitch = median(steps);
    const auto alike = std::count_if(steps.begin(), steps.end(),
                                     [&](double step) { return std::abs(step - pitch) * 20 <= pitch * 3; });
    const bool typewriter = pitch > 0 && alike * 20 >= std::ptrdiff_t(steps.size()) * 11 &&
                            median(std::move(dotSteps)) * 20 >= pitch * 17;
    return typewriter ? pitch : 0;
}

// One reading of a piece in single-line mode, with the height of each glyph's ink. A glyph
// raised above the small letters at the front of a word (a footnote's dagger, asterisk or
// figure glued to an address) reads as a mark, whatever the engine took it for: no letter
// or digit sits that high. In a typewriter font, a space beside a dot that is no wider
// than a glyph is none: the dot is drawn in the middle of a whole glyph's width.
Reading readPiece(tesseract::TessBaseAPI &api, Pix *piece, int dpi, double raisedMark)
{
    const std::vector<Glyph> glyphs = readGlyphs(api, piece, dpi);
    Reading reading;
    std::vector<int> smallHeights;
    std::vector<int> smallBottoms;
    for (const Glyph &glyph : glyphs) {
        if (isSmallLetter(glyph.c) && glyph.ink.height() > 0) {
            smallHeights.push_back(glyph.ink.height());
            smallBottoms.push_back(glyph.ink.bottom);
        }
    }
    reading.xHeight = median(std::move(smallHeights));
    const int baseline = median(std::move(smallBottoms));
    // The engine's box must end above the baseline too: one box for a mark and the letter
    // after it ("j" below a dagger) may lie most over the mark's blot.
    const auto raised = [&](const Glyph &glyph) {
        return reading.xHeight > 0 && glyph.ink.height() > 0 &&
               baseline - (glyph.ink.top + glyph.ink.bottom) / 2.0 > raisedMark * reading.xHeight &&
               baseline - glyph.box.bottom > reading.xHeight / 4;
    };
    const double pitch = typewriterPitch(glyphs);
    const auto spaced = [&](std::size_t i) {
        const Glyph &before = glyphs[i - 1];
        const Glyph &glyph = glyphs[i];
        return !(pitch > 0 && (before.c == '.' || glyph.c == '.') &&
                 (middle(glyph) - middle(before)) * 2 < pitch * 3);
    };
    bool front = false; // within the marks at the front of a word
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Glyph &glyph = glyphs[i];
        if (glyph.startsWord && i > 0 && spaced(i)) {
            reading.text += ' ';
            reading.heights.push_back(0);
        }
        front = glyph.startsWord || front;
        const bool mark = front && raised(glyph);
        front = mark;
        reading.text += mark ? '?' : glyph.c;
        reading.heights.push_back(glyph.ink.height());
    }
    return reading;
}

// The page's own reading of a piece: its words as they stand, no glyph heights.
Reading pageReading(const std::vector<PageWord> &words, const AddressPiece &piece)
{
    Reading reading;
    for (const std::size_t i : piece.words) {
        if (!reading.text.empty())
            reading.text += ' ';
        for (const char c : words[i].text) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte & 0xC0) != 0x80) // one '?' for each character past ASCII
                reading.text += byte < 0x80 ? c : '?';
        }
    }
    return reading;
}

} // namespace

std::string VariantName(PieceVariant variant, const RecognitionSettings &settings)
{
    switch (variant) {
    case PieceVariant::Grey:
        return "grey";
    case PieceVariant::Scaled:
        return "scaled";
    case PieceVariant::Binarised:
        return "binarised";
    case PieceVariant::SecondModel:
        return settings.secondModel;
    }
    return {};
}

struct PageRecogniser::Engine
{
    tesseract::TessBaseAPI api;
    std::string languages;
};

PageRecogniser::PageRecogniser(RecognitionSettings settings) : m_settings(std::move(settings))
{
}

PageRecogniser::~PageRecogniser() = default;

void PageRecogniser::useAddressRules(AddressRules rules)
{
    m_settings.vote.addresses = std::move(rules);
}

std::optional<std::string> PageRecogniser::useLanguages(std::string_view languages)
{
    const OcrLanguages parsed = ParseOcrLanguages(languages);
    if (std::optional<std::string> problem = LanguageProblem(parsed, TessdataFolder()))
        return problem;
    m_languages = parsed.joined;
    return std::nullopt;
}

// A tesseract instance with the settings' variables, or nullptr when it cannot start.
std::unique_ptr<PageRecogniser::Engine> PageRecogniser::makeEngine(const std::string &languages) const
{
    QuietTesseract();
    auto made = std::make_unique<Engine>();
    made->languages = languages;
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (const auto &[name, value] : m_settings.variables) {
        names.push_back(name);
        values.push_back(value);
    }
    const int status = made->api.Init(nullptr, languages.c_str(),
                                      static_cast<tesseract::OcrEngineMode>(m_settings.engineMode), nullptr,
                                      0, &names, &values, false);
    if (status != 0) {
        std::fprintf(stderr, "pelmora-convert: tesseract could not start with %s\n", languages.c_str());
        return nullptr;
    }
    return made;
}

PageRecogniser::Engine *PageRecogniser::engine()
{
    if (m_engine && m_engine->languages == m_languages)
        return m_engine.get();
    if (m_failedLanguages == m_languages)
        return nullptr;
    m_engine.reset(); // the old languages' memory goes before the new ones load
    m_engine = makeEngine(m_languages);
    if (!m_engine) {
        m_failedLanguages = m_languages;
        return nullptr;
    }
    ++m_enginesMade;
    std::fprintf(stderr, "pelmora-convert: tesseract %s started with %s (instance %d)\n",
                 tesseract::TessBaseAPI::Version(), m_languages.c_str(), m_enginesMade);
    return m_engine.get();
}

PageRecogniser::Engine *PageRecogniser::secondEngine()
{
    if (m_secondTried)
        return m_second.get();
    m_secondTried = true;
    // Debian puts the script models at the top of the folder or in script/.
    const std::vector<std::string> installed = InstalledLanguages(TessdataFolder());
    for (const std::string &name : {m_settings.secondModel, "script/" + m_settings.secondModel}) {
        if (!m_settings.secondModel.empty() &&
            std::find(installed.begin(), installed.end(), name) != installed.end()) {
            m_second = makeEngine(name);
            break;
        }
    }
    return m_second.get();
}

std::optional<RecognisedPage> PageRecogniser::recognise(RenderablePage &page)
{
    Engine *current = engine();
    if (!current)
        return std::nullopt;
    tesseract::TessBaseAPI &api = current->api;
    const double dpi = renderDpi(page, m_settings);
    PixPtr picture;
    page.renderGrey(dpi, m_settings.maxImagePixels, [&](const PageBitmap &bitmap) {
        if (bitmap.pixels && bitmap.width > 0 && bitmap.height > 0)
            picture = GreyPicture(bitmap.pixels, bitmap.width, bitmap.height, bitmap.bytesPerLine);
    });
    if (!picture)
        return std::nullopt;
    const int resolution = std::max(1, static_cast<int>(std::lround(dpi)));
    api.SetPageSegMode(static_cast<tesseract::PageSegMode>(m_settings.pageSegMode));
    api.SetImage(picture.get());
    api.SetSourceResolution(resolution);
    std::vector<PageWord> words;
    std::vector<LineShape> lines;
    const bool read = api.Recognize(nullptr) == 0;
    if (read)
        readLayout(api, words, lines);
    api.Clear();
    if (!read)
        return std::nullopt;

    RecognisedPage recognised;
    const std::vector<AddressPiece> pieces = m_settings.capitalPixels > 0
                                                 ? FindAddressPieces(words, lines, m_settings.vote.addresses)
                                                 : std::vector<AddressPiece>();
    recognised.pieces = reread(picture.get(), resolution, words, lines, pieces);
    std::map<std::size_t, std::string> replaced;
    std::set<std::string> sure;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        // The piece's voted text stands in its first word's place; its other words go.
        for (const std::size_t word : pieces[p].words)
            replaced[word] = word == pieces[p].words.front() ? recognised.pieces[p].vote.text : std::string();
        for (const VotedAddress &address : recognised.pieces[p].vote.addresses) {
            if (address.sure)
                sure.insert(address.address);
        }
    }
    for (const PieceReadings &piece : recognised.pieces) {
        for (const VotedAddress &address : piece.vote.addresses) {
            std::vector<VotedAddress> &unsure = recognised.unsureAddresses;
            const bool listed = std::any_of(unsure.begin(), unsure.end(), [&](const VotedAddress &a) {
                return a.address == address.address;
            });
            if (!address.sure && !sure.count(address.address) && !listed)
                unsure.push_back(address);
        }
    }
    recognised.text = PageTextFromRecognised(PageTextOfWords(words, m_settings.minWordConfidence, replaced));
    return recognised;
}

std::vector<PieceReadings> PageRecogniser::reread(Pix *page, int dpi, const std::vector<PageWord> &words,
                                                  const std::vector<LineShape> &lines,
                                                  const std::vector<AddressPiece> &pieces)
{
    std::vector<PieceReadings> reports;
    tesseract::TessBaseAPI &api = m_engine->api;
    const bool wanted = std::find(m_settings.variants.begin(), m_settings.variants.end(),
                                  PieceVariant::SecondModel) != m_settings.variants.end();
    Engine *second =
        wanted && m_languages != m_settings.secondModel && !pieces.empty() ? secondEngine() : nullptr;
    // Without the second model, its readings come from pictures of eng's own.
    const std::vector<PieceVariant> &variants =
        wanted && !second && !pieces.empty() ? m_settings.withoutSecondModel : m_settings.variants;
    for (const AddressPiece &piece : pieces) {
        PieceReadings report;
        report.readings.emplace_back("page", pageReading(words, piece));
        const LineShape &line = lines[std::size_t(piece.line)];
        if (const PixPtr grey = CutLinePiece(page, piece.box, line)) {
            for (const PieceVariant variant : variants) {
                tesseract::TessBaseAPI *engine = &api;
                PixPtr made;
                Pix *picture = grey.get();
                int resolution = dpi;
                switch (variant) {
                case PieceVariant::Grey:
                    break;
                case PieceVariant::Scaled: {
                    const double factor =
                        m_settings.capitalPixels / std::max(1.0, line.xHeight + line.ascender);
                    made = Scaled(grey.get(), factor);
                    picture = made.get();
                    resolution = std::max(1, int(std::lround(dpi * factor)));
                    break;
                }
                case PieceVariant::Binarised:
                    made = Binarised(grey.get());
                    picture = made.get();
                    break;
                case PieceVariant::SecondModel:
                    engine = second ? &second->api : nullptr;
                    break;
                }
                if (!engine || !picture)
                    continue;
                report.readings.emplace_back(VariantName(variant, m_settings),
                                             readPiece(*engine, picture, resolution, m_settings.raisedMark));
                engine->Clear();
            }
        }
        std::vector<Reading> readings;
        for (const auto &[name, reading] : report.readings)
            readings.push_back(reading);
        report.vote = VoteReadings(std::move(readings), m_settings.vote);
        reports.push_back(std::move(report));
    }
    return reports;
}

} // namespace pelmora::worker
