// One of two runs using one cache at the same time: opens it, says "ready", and on a line
// from standard input stores and writes `count` results numbered from `first`, looking
// each one up again at once. Exit status 0 when every result
// came back as stored and the cache was never set aside; its line goes to standard error.
#include "CacheSamples.h"
#include "cache/ResultsCache.h"
#include "core/Clock.h"

#include <QCoreApplication>

#include <cstdio>

using namespace pelmora;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fputs("usage: pelmora_cache_writer FOLDER FIRST COUNT\n", stderr);
        return 2;
    }
    const int first = arguments[2].toInt();
    const int count = arguments[3].toInt();
    ResultsCache cache(arguments[1], Clock::system());
    // Both runs start writing when both have opened the cache.
    std::puts("ready");
    std::fflush(stdout);
    char go[8];
    if (!std::fgets(go, sizeof go, stdin))
        return 2;
    bool same = true;
    for (int i = first; i < first + count && cache.isUsable(); ++i) {
        const FileResult result = test::sampleResult(3, i);
        // Each written at once, so that the two runs' writes meet as often as they can.
        same = cache.store(test::sampleStamp(quint64(i)), test::kSampleRules, result,
                           ResultsCache::Opening::WithoutPassword) &&
               cache.flush() && cache.lookup(test::sampleStamp(quint64(i)), test::kSampleRules) == result &&
               same;
    }
    if (!cache.isUsable())
        std::fprintf(stderr, "%s\n", qPrintable(cache.problem()));
    return same && cache.isUsable() ? 0 : 1;
}
