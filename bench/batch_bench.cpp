// Wall time of whole runs over a generated corpus, side by side with what the same
// machine does with pdftotext alone. Prints a table; run it from a Release build.
#include "PdfCorpus.h"
#include "convert/ConverterWorkspace.h"
#include "core/Clock.h"
#include "run/BatchRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

class NoPasswords : public BatchRunHost
{
public:
    PasswordMode passwordMode() override { return PasswordMode::None; }
    QString askPassword(PasswordPrompt, const QString &) override { return {}; }
};

struct RunFigures
{
    double ms = 0;
    qsizetype addresses = 0;
};

RunFigures timeRun(ConverterWorkspace &workspace, const QStringList &pdfs, int jobs)
{
    NoPasswords host;
    BatchRun run(workspace, Clock::system(), host, pdfs);
    run.setParallelJobs(jobs);
    RunFigures figures;
    QObject::connect(&run, &BatchRun::addressesFound,
                     [&](const QStringList &found) { figures.addresses += found.size(); });
    bool done = false;
    QObject::connect(&run, &BatchRun::finished, [&] { done = true; });
    QElapsedTimer timer;
    timer.start();
    run.start();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    figures.ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    return figures;
}

void row(const char *what, double ms, double reference)
{
    std::printf("%-44s %10.0f ms   %6.2fx\n", what, ms, ms / reference);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 300;
    const int pages = argc > 2 ? std::atoi(argv[2]) : 3;
    const int cores = argc > 3 ? std::atoi(argv[3]) : QThread::idealThreadCount();

    QTemporaryDir temp;
    const QString corpus = temp.filePath(u"corpus"_s);
    const QStringList pdfs = bench::makeCorpus(corpus, files, pages);
    ConverterWorkspace workspace(temp.path());
    workspace.EnsureConverter();
    const QString out = temp.filePath(u"loop-out"_s);
    QDir().mkpath(out);

    std::printf("Batch run over %d generated PDFs of %d pages, %d cores\n\n", files, pages, cores);
    timeRun(workspace, pdfs, cores); // warm the page cache and the converter's libraries

    const double loop =
        bench::timeShell(u"for f in '%1'/*.pdf; do pdftotext \"$f\" '%2'/out.txt; done"_s.arg(corpus, out));
    const double xargs = bench::timeShell(
        u"cd '%1' && printf '%s\\0' *.pdf | xargs -0 -P %2 -I{} pdftotext {} '%3'/{}.txt"_s.arg(corpus)
            .arg(cores)
            .arg(out));
    const RunFigures serial = timeRun(workspace, pdfs, 1);
    const RunFigures parallel = timeRun(workspace, pdfs, cores);
    const double command = bench::timeShell(
        u"'%1' -q -j %2 '%3' > '%4'/command-out.txt"_s.arg(QStringLiteral(PELMORA_EXTRACT_COMMAND))
            .arg(cores)
            .arg(corpus, out));
    QByteArray grepOut;
    const double pdfgrep = bench::timeShell(
        u"pdfgrep -r -o -P '[a-zA-Z0-9_.-]+@[a-zA-Z0-9.-]+\\.[a-zA-Z]{2,}' '%1' | wc -l"_s.arg(corpus),
        &grepOut);

    std::printf("%-44s %10s      %s\n", "what", "wall", "vs plain loop");
    row("shell loop of pdftotext (one at a time)", loop, loop);
    row("BatchRun, 1 job", serial.ms, loop);
    char label[64];
    std::snprintf(label, sizeof label, "xargs -P %d pdftotext", cores);
    row(label, xargs, loop);
    std::snprintf(label, sizeof label, "BatchRun, %d jobs", cores);
    row(label, parallel.ms, loop);
    std::snprintf(label, sizeof label, "pelmora-extract -j %d", cores);
    row(label, command, loop);
    if (pdfgrep >= 0)
        row("pdfgrep -r -o -P (same folder)", pdfgrep, loop);
    std::printf(
        "\nBatchRun 1 job vs loop: %+.1f%%   %d jobs vs xargs: %+.1f%%   speed-up %d vs 1 job: %.2fx\n",
        (serial.ms / loop - 1) * 100, cores, (parallel.ms / xargs - 1) * 100, cores, serial.ms / parallel.ms);
    if (pdfgrep >= 0)
        std::printf("pelmora-extract vs pdfgrep: %.2fx the speed\n", pdfgrep / command);
    std::printf("unique addresses found: %lld (1 job), %lld (%d jobs); pdfgrep matches: %s",
                (long long)serial.addresses, (long long)parallel.addresses, cores,
                grepOut.trimmed().append('\n').constData());
    std::printf("reproduce: build Release, then %s %d %d\n", argv[0], files, pages);
    return 0;
}
