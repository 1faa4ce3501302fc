#include "worker/Versions.h"

#include <leptonica/allheaders.h>
#include <poppler-config.h>
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

int PrintVersions()
{
    // poppler's core library has no version call; its soname changes with every release,
    // so the library loaded is the one these headers came with. The others are asked.
    std::printf("pelmora-convert %s\npoppler %s\ntesseract %s\nleptonica %s\n", PELMORA_VERSION,
                POPPLER_VERSION, tesseract::TessBaseAPI::Version(), leptonicaVersion().c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace pelmora::worker
