#include "worker/PageRecogniser.h"

#include "convert/OcrLanguages.h"
#include "worker/OcrRules.h"
#include "worker/TessData.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

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

std::optional<std::string> PageRecogniser::recognise(RenderablePage &page)
{
    Engine *current = engine();
    if (!current)
        return std::nullopt;
    tesseract::TessBaseAPI &api = current->api;
    const double dpi = renderDpi(page, m_settings);
    // Tesseract copies the picture; the engine's is freed before the long part begins.
    bool pictured = false;
    page.renderGrey(dpi, [&](const GreyPicture &picture) {
        if (!picture.pixels || picture.width <= 0 || picture.height <= 0)
            return;
        api.SetImage(picture.pixels, picture.width, picture.height, 1, picture.bytesPerLine);
        pictured = true;
    });
    if (!pictured)
        return std::nullopt;
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
