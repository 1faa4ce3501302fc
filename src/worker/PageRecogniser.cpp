#include "worker/PageRecogniser.h"

#include "convert/OcrLanguages.h"
#include "worker/OcrRules.h"
#include "worker/TessData.h"

#include <PDFDoc.h>
#include <SplashOutputDev.h>
#include <splash/SplashBitmap.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pelmora::worker {

namespace {

// The resolution for the page: the settings' own, lower for a page so large that its
// picture would pass the bound.
double renderDpi(PDFDoc &doc, int page, const RecognitionSettings &settings)
{
    const double width = doc.getPageMediaWidth(page) / 72.0;
    const double height = doc.getPageMediaHeight(page) / 72.0;
    const double dpi = settings.dpi;
    if (!(width > 0 && height > 0) || !std::isfinite(width * height))
        return dpi;
    const double pixels = width * height * dpi * dpi;
    if (pixels <= static_cast<double>(settings.maxPixels))
        return dpi;
    return std::sqrt(static_cast<double>(settings.maxPixels) / (width * height));
}

// The page as pdftoppm -gray renders it: white paper, anti-aliased, media box, no crop,
// turned as the page says: the page box of the converted text.
std::unique_ptr<SplashBitmap> renderGrey(PDFDoc &doc, int page, double dpi)
{
    SplashColor paper{};
    paper[0] = paper[1] = paper[2] = 255;
    SplashOutputDev device(splashModeMono8, 4, false, paper, true, splashThinLineDefault, false);
    device.setFontAntialias(true);
    device.setVectorAntialias(true);
    device.setEnableFreeType(true);
    device.startDoc(&doc);
    doc.displayPage(&device, page, dpi, dpi, 0, true, false, false);
    return std::unique_ptr<SplashBitmap>(device.takeBitmap());
}

} // namespace

struct PageRecogniser::Engine
{
    tesseract::TessBaseAPI api;
    std::string languages;
};

PageRecogniser::PageRecogniser(RecognitionSettings settings) : m_settings(std::move(settings))
{
}

PageRecogniser::~PageRecogniser() = default;

std::optional<std::string> PageRecogniser::useLanguages(std::string_view languages)
{
    const OcrLanguages parsed = ParseOcrLanguages(languages);
    if (std::optional<std::string> problem = LanguageProblem(parsed, TessdataFolder()))
        return problem;
    m_languages = parsed.joined;
    return std::nullopt;
}

PageRecogniser::Engine *PageRecogniser::engine()
{
    if (m_engine && m_engine->languages == m_languages)
        return m_engine.get();
    if (m_failedLanguages == m_languages)
        return nullptr;
    m_engine.reset(); // the old languages' memory goes before the new ones load
    QuietTesseract();
    auto made = std::make_unique<Engine>();
    made->languages = m_languages;
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (const auto &[name, value] : m_settings.variables) {
        names.push_back(name);
        values.push_back(value);
    }
    const int status = made->api.Init(nullptr, m_languages.c_str(),
                                      static_cast<tesseract::OcrEngineMode>(m_settings.engineMode), nullptr,
                                      0, &names, &values, false);
    if (status != 0) {
        m_failedLanguages = m_languages;
        std::fprintf(stderr, "pelmora-convert: tesseract could not start with %s\n", m_languages.c_str());
        return nullptr;
    }
    made->api.SetPageSegMode(static_cast<tesseract::PageSegMode>(m_settings.pageSegMode));
    ++m_enginesMade;
    std::fprintf(stderr, "pelmora-convert: tesseract %s started with %s (instance %d)\n",
                 tesseract::TessBaseAPI::Version(), m_languages.c_str(), m_enginesMade);
    m_engine = std::move(made);
    return m_engine.get();
}

std::optional<std::string> PageRecogniser::recognise(PDFDoc &doc, int page)
{
    if (!doc.getPage(page))
        return std::nullopt;
    Engine *current = engine();
    if (!current)
        return std::nullopt;
    tesseract::TessBaseAPI &api = current->api;
    const double dpi = renderDpi(doc, page, m_settings);
    {
        const std::unique_ptr<SplashBitmap> bitmap = renderGrey(doc, page, dpi);
        if (!bitmap || bitmap->getWidth() <= 0 || bitmap->getHeight() <= 0 || !bitmap->getDataPtr())
            return std::nullopt;
        // Tesseract copies the picture; ours is freed before the long part begins.
        api.SetImage(bitmap->getDataPtr(), bitmap->getWidth(), bitmap->getHeight(), 1, bitmap->getRowSize());
    }
    api.SetSourceResolution(std::max(1, static_cast<int>(std::lround(dpi))));
    std::optional<std::string> text;
    if (api.Recognize(nullptr) == 0) {
        if (const std::unique_ptr<char[]> all(api.GetUTF8Text()); all)
            text =
                PageTextFromRecognised(BlankUnsureWords(all.get(), words(api), m_settings.minWordConfidence));
    }
    api.Clear();
    return text;
}

std::vector<RecognisedWord> PageRecogniser::words(tesseract::TessBaseAPI &api)
{
    std::vector<RecognisedWord> words;
    const std::unique_ptr<tesseract::ResultIterator> word(api.GetIterator());
    if (!word)
        return words;
    do {
        const std::unique_ptr<char[]> text(word->GetUTF8Text(tesseract::RIL_WORD));
        if (text)
            words.push_back({text.get(), word->Confidence(tesseract::RIL_WORD)});
    } while (word->Next(tesseract::RIL_WORD));
    return words;
}

} // namespace pelmora::worker
