// What the results cache costs per file next to what it saves: stamping, looking up
// and storing one file's result, side by side with converting a small one-page PDF in
// a whole run of pelmora-extract; and the digest of a large file, next to the digests
// Qt has built in. Medians of five rounds; run it from a Release build:
// pelmora_bench_cache [files]
#include "PdfCorpus.h"
#include "cache/ResultsCache.h"
#include "core/Clock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <xxhash.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

constexpr int kRounds = 5;
const auto kRules = u"pelmora 1.0.0|poppler 22.02.0|service|links 0|ocr -|rules 1"_s;

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Microseconds per call of `step(i)` over `count` calls, median of the rounds; `round`
// runs before each round, untimed.
double perCall(int count, const std::function<void(int)> &step, const std::function<void()> &round = {})
{
    QList<double> times;
    for (int r = 0; r < kRounds; ++r) {
        if (round)
            round();
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < count; ++i)
            step(i);
        times.append(double(timer.nsecsElapsed()) / 1000.0 / count);
    }
    return median(times);
}

FileResult resultOf(int file)
{
    FileResult result;
    for (int i = 0; i < 5; ++i)
        result.addresses.append(
            {u"contact%1.%2@company%1.example.com"_s.arg(file).arg(i), 1, 1, FoundVia::Text});
    return result;
}

void perFile(const QString &folder, int files)
{
    QStringList pdfs;
    QDir().mkpath(folder + u"/pdfs"_s);
    for (int i = 0; i < files; ++i) {
        pdfs.append(u"%1/pdfs/file%2.pdf"_s.arg(folder).arg(i, 5, 10, QChar(u'0')));
        bench::writeTextPdf(pdfs.last(), {{u"Orders: contact%1.0@company%1.example.com"_s.arg(i),
                                           u"Invoices: contact%1.1@company%1.example.com"_s.arg(i)}});
    }
    QList<FileStamp> stamps;
    for (const QString &pdf : std::as_const(pdfs))
        stamps.append(*FileStamp::of(pdf));

    const QString cacheFolder = folder + u"/cache"_s;
    const double stamp = perCall(files, [&](int i) { FileStamp::of(pdfs[i]); });
    std::unique_ptr<ResultsCache> cache;
    const double store = perCall(
        files,
        [&](int i) {
            cache->store(stamps[i], kRules, resultOf(i), ResultsCache::Opening::WithoutPassword);
            if (i == files - 1)
                cache->flush(); // the last batch counts too
        },
        [&] {
            cache.reset();
            ResultsCache::clear(cacheFolder);
            cache = std::make_unique<ResultsCache>(cacheFolder, Clock::system());
        });
    const double hit = perCall(files, [&](int i) { cache->lookup(stamps[i], kRules); });
    const double miss = perCall(files, [&](int i) { cache->lookup(stamps[i], u"other rules"_s); });
    const bool usable = cache->isUsable();
    cache.reset();

    const QString command =
        u"%1 -q -j 1 '%2/pdfs' >/dev/null"_s.arg(QStringLiteral(PELMORA_EXTRACT_COMMAND), folder);
    bench::timeShell(command); // warm the page cache and the libraries
    QList<double> runs;
    for (int r = 0; r < kRounds; ++r)
        runs.append(bench::timeShell(command) * 1000.0 / files);
    const double convert = median(runs);

    std::printf("per file, %d one-page PDFs (median of %d rounds)%s\n", files, kRounds,
                usable ? "" : " -- THE CACHE WAS SET ASIDE, figures void");
    std::printf("%-58s %10s %8s\n", "", "us/file", "/convert");
    const QList<std::pair<const char *, double>> rows{
        {"stamp: stat and digest of the file", stamp},
        {"lookup, found (stamp not included)", hit},
        {"lookup, not found", miss},
        {"store (written in batches of 64, pruning checked)", store},
        {"stamp + lookup found: a second run's cost", stamp + hit},
        {"stamp + lookup not found + store: a first run's extra", stamp + miss + store},
        {"convert: pelmora-extract -j 1 over the files, per file", convert}};
    for (const auto &[name, us] : rows)
        std::printf("%-58s %10.1f %8.3f\n", name, us, us / convert);
    std::printf("\n");
}

void digests(const QString &folder)
{
    // The stamp reads 128 KiB of any file of that size or more: its cost stays flat.
    std::printf("%-58s %10s\n", "digest", "us");
    for (const qint64 mebibytes : {1, 64, 512}) {
        const QString path = u"%1/large-%2.bin"_s.arg(folder).arg(mebibytes);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(mebibytes << 20))
            continue;
        file.close();
        const double us = perCall(200, [&](int) { FileStamp::of(path); });
        std::printf("FileStamp::of, %4lld MiB file (first and last 64 KiB) %23.1f\n", qlonglong(mebibytes),
                    us);
        QFile::remove(path);
    }
    const QByteArray span(128 * 1024, 'x');
    const auto qtDigest = [&](QCryptographicHash::Algorithm algorithm) {
        return perCall(200, [&](int) { QCryptographicHash::hash(span, algorithm); });
    };
    std::printf("%-58s %10.1f\n", "128 KiB: xxHash XXH3-128 (the stamp's)",
                perCall(200, [&](int) { XXH3_128bits(span.constData(), size_t(span.size())); }));
    std::printf("%-58s %10.1f\n", "128 KiB: Qt SHA-256", qtDigest(QCryptographicHash::Sha256));
    std::printf("%-58s %10.1f\n", "128 KiB: Qt BLAKE2b-256", qtDigest(QCryptographicHash::Blake2b_256));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    QTemporaryDir temp;
    perFile(temp.path(), files);
    digests(temp.path());
    std::printf("\nreproduce: build Release, then %s %d\n", argv[0], files);
    return 0;
}
