// Peak memory of a run's address bookkeeping for a million distinct addresses.
#include "extract/AddressExtraction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

using namespace pelmora;

namespace {

// The high-water mark of resident memory, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;
    QByteArray text;
    text.reserve(qsizetype(count) * 40);
    for (int i = 0; i < count; ++i)
        text += "Contact: person" + QByteArray::number(i) + "@company" + QByteArray::number(i % 997) +
                ".example.com,\n";
    const double before = peakMiB();
    QElapsedTimer timer;
    timer.start();
    SeenAddresses seen;
    const QStringList results = ExtractEmailToArray(text, seen, {});
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const double after = peakMiB();
    std::printf("%d distinct addresses in %.1f MB of text: %lld found in %.2f s\n", count,
                static_cast<double>(text.size()) / 1e6, static_cast<long long>(results.size()), seconds);
    std::printf("peak resident memory: %.0f MiB with the text alone, %.0f MiB after extraction "
                "(%.0f bytes per address for the results and the seen set)\n",
                before, after, (after - before) * 1024 * 1024 / count);
    std::printf("reproduce: build Release, then %s %d\n", argv[0], count);
    return 0;
}
