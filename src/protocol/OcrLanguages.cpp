#include "protocol/OcrLanguages.h"

#include <algorithm>
#include <utility>

namespace pelmora {

namespace {

bool isNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool isLanguageName(std::string_view name)
{
    // "/" only between two non-empty names; no "." anywhere, so no "..".
    if (name.empty() || name.front() == '/' || name.back() == '/' ||
        name.find("//") != std::string_view::npos)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return isNameByte(c) || c == '/'; });
}

} // namespace

OcrLanguages ParseOcrLanguages(std::string_view languages)
{
    OcrLanguages parsed;
    std::size_t start = 0;
    while (start <= languages.size()) {
        std::size_t end = languages.find('+', start);
        if (end == std::string_view::npos)
            end = languages.size();
        const std::string_view part = languages.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        const bool excluded = part.front() == '~';
        const std::string_view name = excluded ? part.substr(1) : part;
        if (!isLanguageName(name)) {
            parsed.invalid.emplace_back(part);
            continue;
        }
        if (!parsed.joined.empty())
            parsed.joined += '+';
        parsed.joined += part;
        if (!excluded && std::find(parsed.needed.begin(), parsed.needed.end(), name) == parsed.needed.end())
            parsed.needed.emplace_back(name);
    }
    if (parsed.needed.empty()) {
        // No language named (exclusions alone exclude from nothing): tesseract's default.
        parsed.joined = "eng";
        parsed.needed.emplace_back("eng");
    }
    return parsed;
}

namespace {

// Script models go by their script's name; Debian names their packages by its ISO 15924
// code, with "-vert" for text set vertically. Empty for a language.
std::string_view scriptPackageSuffix(std::string_view code)
{
    static constexpr std::pair<std::string_view, std::string_view> kScripts[] = {
        {"Arabic", "arab"},
        {"Armenian", "armn"},
        {"Bengali", "beng"},
        {"Canadian_Aboriginal", "cans"},
        {"Cherokee", "cher"},
        {"Cyrillic", "cyrl"},
        {"Devanagari", "deva"},
        {"Ethiopic", "ethi"},
        {"Fraktur", "frak"},
        {"Georgian", "geor"},
        {"Greek", "grek"},
        {"Gujarati", "gujr"},
        {"Gurmukhi", "guru"},
        {"Hangul", "hang"},
        {"Hangul_vert", "hang-vert"},
        {"HanS", "hans"},
        {"HanS_vert", "hans-vert"},
        {"HanT", "hant"},
        {"HanT_vert", "hant-vert"},
        {"Hebrew", "hebr"},
        {"Japanese", "jpan"},
        {"Japanese_vert", "jpan-vert"},
        {"Khmer", "khmr"},
        {"Kannada", "knda"},
        {"Lao", "laoo"},
        {"Latin", "latn"},
        {"Malayalam", "mlym"},
        {"Myanmar", "mymr"},
        {"Oriya", "orya"},
        {"Sinhala", "sinh"},
        {"Syriac", "syrc"},
        {"Tamil", "taml"},
        {"Telugu", "telu"},
        {"Thaana", "thaa"},
        {"Thai", "thai"},
        {"Tibetan", "tibt"},
        {"Vietnamese", "viet"}};
    const std::string_view script = code.starts_with("script/") ? code.substr(7) : code;
    for (const auto &[name, iso] : kScripts) {
        if (script == name)
            return iso;
    }
    return {};
}

} // namespace

std::string_view ScriptCodeOf(std::string_view code)
{
    const std::string_view suffix = scriptPackageSuffix(code);
    return suffix.substr(0, suffix.find('-'));
}

std::string DebianPackageFor(std::string_view code)
{
    if (const std::string_view script = scriptPackageSuffix(code); !script.empty())
        return "tesseract-ocr-script-" + std::string(script);
    std::string package = "tesseract-ocr-";
    for (char c : code) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '_' || c == '/')
            c = '-';
        package += c;
    }
    return package;
}

} // namespace pelmora
