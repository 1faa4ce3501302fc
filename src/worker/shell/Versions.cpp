#include "worker/shell/Versions.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace pelmora::worker {

namespace {

std::string leptonicaVersion()
{
    char *named = getLeptonicaVersion(); // "leptonica-1.82.0"
    std::string version = named ? named : "unknown";
    lept_free(named);
    constexpr std::string_view kPrefix = "leptonica-";
    if (version.starts_with(kPrefix))
        version.erase(0, kPrefix.size());
    return version;
}

} // namespace

int PrintVersions(std::string_view program, std::string_view pdfLibrary)
{
    std::printf("%.*s %s\n%.*s\ntesseract %s\nleptonica %s\n", int(program.size()), program.data(),
                PELMORA_VERSION, int(pdfLibrary.size()), pdfLibrary.data(), tesseract::TessBaseAPI::Version(),
                leptonicaVersion().c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace pelmora::worker
