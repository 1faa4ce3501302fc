#include "worker/recognition/TessData.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace pelmora::worker {

namespace {

constexpr std::string_view kSuffix = ".traineddata";

// Filled by the reader below while TessdataFolder probes.
std::string *probedFile = nullptr;

bool refuseAndNote(const char *filename, std::vector<char> *)
{
    if (probedFile && probedFile->empty() && filename)
        *probedFile = filename;
    return false;
}

std::string probeFolder()
{
    // Tesseract works the folder out only inside Init; a reader that refuses every file
    // shows which file it would have read, without reading any.
    std::string file;
    probedFile = &file;
    {
        tesseract::TessBaseAPI api;
        QuietTesseract();
        api.Init(nullptr, 0, "eng", tesseract::OEM_DEFAULT, nullptr, 0, nullptr, nullptr, false,
                 &refuseAndNote);
    }
    probedFile = nullptr;
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

std::string join(const std::vector<std::string> &items, std::string_view separator)
{
    std::string joined;
    for (const std::string &item : items) {
        if (!joined.empty())
            joined += separator;
        joined += item;
    }
    return joined;
}

} // namespace

void QuietTesseract()
{
    static const bool done = [] {
        // debug_file is one of tesseract's global variables: every instance writes there.
        tesseract::TessBaseAPI api;
        api.SetVariable("debug_file", "/dev/null");
        setMsgSeverity(L_SEVERITY_NONE);
        return true;
    }();
    (void)done;
}

const std::string &TessdataFolder()
{
    static const std::string folder = probeFolder();
    return folder;
}

std::vector<std::string> InstalledLanguages(const std::string &folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> languages;
    std::error_code error;
    const fs::path root(folder);
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= kSuffix.size() || !name.ends_with(kSuffix) || !it->is_regular_file(error))
            continue;
        std::string language = it->path().lexically_relative(root).string();
        language.resize(language.size() - kSuffix.size());
        if (language != "osd")
            languages.push_back(std::move(language));
    }
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::optional<std::string> LanguageProblem(const OcrLanguages &languages, const std::string &folder)
{
    if (!languages.invalid.empty())
        return "not an OCR language name: " + join(languages.invalid, ", ");
    std::vector<std::string> missing;
    std::vector<std::string> packages;
    for (const std::string &code : languages.needed) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(folder + code + std::string(kSuffix), error)) {
            missing.push_back(code);
            packages.push_back(DebianPackageFor(code));
        }
    }
    if (missing.empty())
        return std::nullopt;
    const bool one = missing.size() == 1;
    return std::string(one ? "OCR language " : "OCR languages ") + join(missing, ", ") +
           (one ? " is" : " are") + " not installed in " + folder + " (Debian: apt-get install " +
           join(packages, " ") + ")";
}

int PrintOcrLanguages()
{
    const std::string &folder = TessdataFolder();
    const std::vector<std::string> languages = InstalledLanguages(folder);
    if (languages.empty()) {
        std::fprintf(stderr,
                     "pelmora-convert: no OCR languages in %s (Debian: apt-get install tesseract-ocr-eng, "
                     "or set TESSDATA_PREFIX to the folder that holds them)\n",
                     folder.c_str());
        return 1;
    }
    for (const std::string &language : languages)
        std::printf("%s\n", language.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

int PrintOcrData(std::string_view languages)
{
    const std::string &folder = TessdataFolder();
    for (const std::string &code : ParseOcrLanguages(languages).needed) {
        const std::string path = folder + code + std::string(kSuffix);
        struct stat status = {};
        if (::stat(path.c_str(), &status) != 0) {
            std::printf("%s missing\n", path.c_str());
            continue;
        }
        const long long ns =
            static_cast<long long>(status.st_mtim.tv_sec) * 1000000000LL + status.st_mtim.tv_nsec;
        std::printf("%s %lld %lld\n", path.c_str(), static_cast<long long>(status.st_size), ns);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace pelmora::worker
