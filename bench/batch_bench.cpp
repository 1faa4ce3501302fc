// Whole runs of pelmora-extract over generated corpora, side by side with the tools
// people use for the job, on the same files in one sitting: pdfgrep over the folder,
// and pdftotext over every file with xargs. Each contender runs five times in turn;
// the median wall time counts. Runs of pelmora-extract either keep no results
// (--no-cache), fill an empty results cache (a first run) or take them from a full one (a
// second run); every cache is one of the benchmark's own. Run it from a Release build
// (scripts/bench.sh).
//
//   pelmora_bench_batch [cores [addresses [parts]]]  everything, or the parts named
//                                                    (small,mixed,large,tail,engines,drawings,memory)
//   pelmora_bench_batch --engines [cores]            poppler against MuPDF only (engines,drawings)
//   pelmora_bench_batch --write-corpora FOLDER       the generated corpora, for
//                                                    scripts/compare-engines.py
#include "PdfCorpus.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kRounds = 5;

struct Contender
{
    QString name;
    QString command;
    QList<double> times;
    double median() const
    {
        QList<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        return sorted.isEmpty() ? -1 : sorted[sorted.size() / 2];
    }
};

QString quoted(const QString &path)
{
    return u"'"_s + path + u"'"_s;
}

// Times every contender once per round, so that all see the same conditions.
void race(QList<Contender> &contenders, int rounds = kRounds)
{
    for (Contender &contender : contenders)
        pelmora::bench::timeShell(contender.command); // warm the page cache and the libraries
    for (int round = 0; round < rounds; ++round) {
        for (Contender &contender : contenders)
            contender.times.append(pelmora::bench::timeShell(contender.command));
    }
}

QString extractRun(const QString &options, const QString &corpus, int cores)
{
    return u"%1 -q -j %2 %3 %4 >/dev/null"_s.arg(QStringLiteral(PELMORA_EXTRACT_COMMAND),
                                                 QString::number(cores), options, quoted(corpus));
}

QList<Contender> contendersFor(const QString &corpus, int cores)
{
    const QString jobs = QString::number(cores);
    return {
        {u"pelmora-extract -j %1 --no-cache"_s.arg(cores), extractRun(u"--no-cache"_s, corpus, cores), {}},
        {u"pdfgrep -r"_s,
         u"pdfgrep -r -o -P '[a-zA-Z0-9_.-]+@[a-zA-Z0-9.-]+\\.[a-zA-Z]{2,}' %1 >/dev/null"_s.arg(
             quoted(corpus)),
         {}},
        {u"xargs -P %1 pdftotext"_s.arg(cores),
         u"cd %1 && printf '%s\\0' *.pdf | xargs -0 -P %2 -I{} pdftotext {} - >/dev/null"_s.arg(
             quoted(corpus), jobs),
         {}},
    };
}

void report(const char *title, const QList<Contender> &contenders)
{
    std::printf("%s\n%-52s %10s %10s %10s\n", title, "", "median ms", "min ms", "max ms");
    for (const Contender &c : contenders) {
        const auto [low, high] = std::minmax_element(c.times.begin(), c.times.end());
        std::printf("%-52s %10.0f %10.0f %10.0f\n", qPrintable(c.name), c.median(), *low, *high);
    }
    for (const Contender &c : contenders)
        std::printf("  %s: %s\n", qPrintable(c.name), qPrintable(c.command));
}

void reportRivals(const char *title, const QList<Contender> &contenders)
{
    report(title, contenders);
    const double ours = contenders[0].median();
    std::printf("pelmora-extract / pdfgrep -r: %.2f   pelmora-extract / xargs pdftotext: %.2f\n\n",
                ours / contenders[1].median(), ours / contenders[2].median());
}

// The two engines of the program's workers, MuPDF's without its work-arounds, then the
// rivals of the faster one.
QList<Contender> engineContenders(const QString &corpus, int cores)
{
    const QString run =
        u"%1 -q -j %2 --no-cache"_s.arg(QStringLiteral(PELMORA_EXTRACT_COMMAND), QString::number(cores));
    const QString each =
        u"cd %1 && printf '%s\\0' *.pdf | xargs -0 -P %2 -I{} "_s.arg(quoted(corpus), QString::number(cores));
    return {
        {u"pelmora-extract --engine poppler"_s,
         u"%1 --engine poppler %2 >/dev/null"_s.arg(run, quoted(corpus)),
         {}},
        {u"pelmora-extract --engine mupdf"_s,
         u"%1 --engine mupdf %2 >/dev/null"_s.arg(run, quoted(corpus)),
         {}},
        {u"pelmora-extract --engine mupdf, no work-arounds"_s,
         u"PELMORA_NO_WORKAROUNDS=1 %1 --engine mupdf %2 >/dev/null"_s.arg(run, quoted(corpus)),
         {}},
        {u"xargs -P %1 mutool draw -F txt"_s.arg(cores),
         each + u"mutool draw -q -F txt -o - {} >/dev/null 2>&1"_s,
         {}},
        {u"xargs -P %1 pdftotext"_s.arg(cores), each + u"pdftotext -q {} - >/dev/null"_s, {}},
    };
}

void reportEngines(const char *title, const QList<Contender> &contenders)
{
    report(title, contenders);
    std::printf(
        "mupdf / poppler: %.2f   mupdf / no work-arounds: %.2f   mupdf / xargs mutool: %.2f   "
        "poppler / xargs pdftotext: %.2f\n\n",
        contenders[1].median() / contenders[0].median(), contenders[1].median() / contenders[2].median(),
        contenders[1].median() / contenders[3].median(), contenders[0].median() / contenders[4].median());
}

// A chart of 5,000 short strokes under 23,000 words of small print on each of 10 pages:
// the MuPDF worker looks for a rule in the gap of every space, which cost the strokes
// times the spaces before the rules were indexed by position.
QString writeChartPdf(const QString &folder)
{
    QDir().mkpath(folder);
    constexpr int kPages = 10;
    QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>", {}, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    QByteArray kids;
    for (int page = 0; page < kPages; ++page) {
        QByteArray content;
        for (int i = 0; i < 5000; ++i) {
            const QByteArray x = QByteArray::number(20 + i % 100 * 5.7, 'f', 2),
                             y = QByteArray::number(20 + i / 100 * 15);
            content +=
                x + ' ' + y + " m " + QByteArray::number(x.toDouble() + 3, 'f', 2) + ' ' + y + " l S\n";
        }
        content += "BT /F1 1.5 Tf 2 TL 20 780 Td\n";
        for (int line = 0; line < 390; ++line) {
            QByteArrayList words;
            for (int word = 0; word < 60; ++word)
                words += 'w' + QByteArray::number((line * 17 + word) % 1000);
            content += '(' + words.join(' ') + ") '\n";
        }
        content += "ET\n";
        kids += QByteArray::number(objects.size() + 1) + " 0 R ";
        objects +=
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
            "/Contents " +
            QByteArray::number(objects.size() + 2) + " 0 R >>";
        objects +=
            "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream";
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(kPages) + " >>";
    QByteArray pdf = "%PDF-1.4\n", table;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        table += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray size = QByteArray::number(objects.size() + 1), xref = QByteArray::number(pdf.size());
    pdf += "xref\n0 " + size + "\n0000000000 65535 f \n" + table + "trailer\n<< /Size " + size +
           " /Root 1 0 R >>\nstartxref\n" + xref + "\n%%EOF\n";
    QFile file(folder + u"/chart.pdf"_s);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size() ? folder : QString();
}

// Real manuals of hundreds of pages, as Debian installs them (texlive-latex-base-doc,
// r-doc-pdf), copied into one folder. Empty when none are installed.
QString copyManuals(const QString &folder)
{
    QDir().mkpath(folder);
    int copied = 0;
    for (const QString &root : {u"/usr/share/doc/texlive-doc"_s, u"/usr/share/R/doc/manual"_s}) {
        QDirIterator found(root, {u"*.pdf"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (found.hasNext()) {
            const QString from = found.next();
            if (QFile::copy(from, folder + u"/%1-%2"_s.arg(copied, 4, 10, QChar(u'0')).arg(found.fileName())))
                ++copied;
        }
    }
    return copied > 0 ? folder : QString();
}

// The MuPDF engine against poppler where each is at its best and worst: many one-page
// files, where starting processes is the cost, and long real documents.
void raceEngines(const QString &invoices, const QString &temp, int cores)
{
    QList<Contender> small = engineContenders(invoices, cores);
    race(small);
    reportEngines("500 one-page PDFs, the two engines", small);

    const QString manuals = copyManuals(temp + u"/manuals"_s);
    if (manuals.isEmpty()) {
        std::printf("long documents: skipped, none installed (apt-get install texlive-latex-base-doc "
                    "r-doc-pdf)\n\n");
        return;
    }
    const qsizetype files = QDir(manuals).entryList(QDir::Files).size();
    QList<Contender> large = engineContenders(manuals, cores);
    race(large);
    const QByteArray title =
        QStringLiteral("%1 real manuals (Debian's LaTeX and R documentation), the two engines")
            .arg(files)
            .toUtf8();
    reportEngines(title.constData(), large);
}

// Every run keeps each address's file, page and count; the formats that show them wait
// for the end of the run and write more. What that costs over the plain list:
void provenanceCost(const QString &corpus, int cores)
{
    const QString run = u"%1 -q -j %2 --no-cache %3"_s.arg(QStringLiteral(PELMORA_EXTRACT_COMMAND),
                                                           QString::number(cores), quoted(corpus));
    QList<Contender> formats{
        {u"pelmora-extract (lines)"_s, run + u" >/dev/null"_s, {}},
        {u"pelmora-extract --format csv"_s, run + u" --format csv >/dev/null"_s, {}},
        {u"pelmora-extract --format jsonl"_s, run + u" --format jsonl >/dev/null"_s, {}}};
    race(formats, 3 * kRounds);
    report("the same 300 PDFs, addresses with their sources (median of 15)", formats);
    std::printf("csv / lines: %.3f   jsonl / lines: %.3f\n\n", formats[1].median() / formats[0].median(),
                formats[2].median() / formats[0].median());
}

// The results cache: a first run fills an empty one (--clear-cache first), beside a
// run without one; a second run takes everything from a full one (the warm-up fills it).
void cacheCost(const char *title, const QString &corpus, const QString &caches, int cores)
{
    const QString empty = quoted(caches + u"/empty"_s);
    const QString full = quoted(caches + u"/full"_s);
    QList<Contender> runs{
        {u"pelmora-extract -j %1 --no-cache"_s.arg(cores), extractRun(u"--no-cache"_s, corpus, cores), {}},
        {u"first run: an empty cache filled"_s,
         extractRun(u"--clear-cache --cache-dir "_s + empty, corpus, cores),
         {}},
        {u"second run: all taken from the cache"_s, extractRun(u"--cache-dir "_s + full, corpus, cores), {}}};
    race(runs);
    report(title, runs);
    std::printf("first run / --no-cache: %.3f   second run / first run: %.4f\n\n",
                runs[1].median() / runs[0].median(), runs[2].median() / runs[1].median());
}

// A set whose largest file holds most of the pages: the run must not end on one core
// while the others idle.
void longTail(const QString &folder, const QString &caches, int cores)
{
    pelmora::bench::makeCorpus(folder, 30, 1, 10, 13);
    const QString scratch = folder + u".big"_s;
    const QStringList big = pelmora::bench::makeCorpus(scratch, 1, 2000, 2000, 17);
    QFile::rename(big.first(), folder + u"/big.pdf"_s);
    QDir(scratch).removeRecursively();
    QList<Contender> runs{
        {u"pelmora-extract -j %1, first run"_s.arg(cores),
         extractRun(u"--clear-cache --cache-dir "_s + quoted(caches + u"/tail"_s), folder, cores),
         {}},
        {u"pelmora-extract -j %1 --no-cache"_s.arg(cores), extractRun(u"--no-cache"_s, folder, cores), {}},
        contendersFor(folder, cores).last()};
    race(runs);
    report("30 PDFs of 1 to 10 pages and one of 2000 pages", runs);
    std::printf("first run / xargs pdftotext: %.2f   --no-cache / xargs pdftotext: %.2f\n\n",
                runs[0].median() / runs[2].median(), runs[1].median() / runs[2].median());
}

// Peak memory of the command and of its converter over one PDF holding `addresses`,
// with its results cache as a run has it by default.
void memoryOfALargeRun(const QString &folder, int addresses)
{
    QList<QStringList> pages;
    constexpr int kPerPage = 60; // as many lines as a page holds
    for (int page = 0; page * kPerPage < addresses; ++page) {
        QStringList lines;
        for (int i = page * kPerPage; i < std::min(addresses, (page + 1) * kPerPage); ++i)
            lines << u"Contact person%1 at person%1@company%2.example.com today"_s.arg(i).arg(i % 997);
        pages << lines;
    }
    const QString pdf = folder + u"/addresses.pdf"_s;
    pelmora::bench::writeTextPdf(pdf, pages);
    QByteArray report;
    const QString command = u"%1 -q --cache-dir %2 %3"_s.arg(
        QStringLiteral(PELMORA_EXTRACT_COMMAND), quoted(folder + u"/memory-cache"_s), quoted(pdf));
    const double ms = pelmora::bench::timeShell(
        u"/usr/bin/time -f '%M' %1 2>&1 >/dev/null | tail -n 1; %1 | wc -l"_s.arg(command), &report);
    const QList<QByteArray> lines = report.trimmed().split('\n');
    std::printf("one PDF of %d pages with %d addresses (%.0f MB): peak resident memory %s KiB "
                "(the command or its largest converter), %s addresses found, %.1f s for both runs\n  %s\n",
                int(pages.size()), addresses, double(QFile(pdf).size()) / 1e6, lines.value(0).constData(),
                lines.value(1).constData(), ms / 1000, qPrintable(u"/usr/bin/time -f '%M' "_s + command));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 2 && arguments[0] == u"--write-corpora"_s) {
        pelmora::bench::makeCorpus(arguments[1] + u"/invoices"_s, 500, 1, 1, 11);
        pelmora::bench::makeCorpus(arguments[1] + u"/mixed"_s, 300, 1, 20, 7);
        return 0;
    }
    const bool enginesOnly = !arguments.isEmpty() && arguments[0] == u"--engines"_s;
    if (enginesOnly)
        arguments.removeFirst();
    const int cores = arguments.size() > 0 ? arguments[0].toInt() : QThread::idealThreadCount();
    const int addresses = arguments.size() > 1 ? arguments[1].toInt() : 1000000;
    const QStringList parts = enginesOnly ? QStringList{u"engines"_s, u"drawings"_s}
                              : arguments.size() > 2
                                  ? arguments[2].split(u',')
                                  : QStringList{u"small"_s,   u"mixed"_s,    u"large"_s, u"tail"_s,
                                                u"engines"_s, u"drawings"_s, u"memory"_s};
    QTemporaryDir temp;
    const QString caches = temp.filePath(u"caches"_s);

    std::printf(
        "pelmora-extract, pdfgrep, pdftotext and mutool over the same files, %d cores, median of %d\n\n",
        cores, kRounds);
    const QString invoices = temp.filePath(u"invoices"_s);
    if (parts.contains(u"small"_s) || parts.contains(u"engines"_s))
        pelmora::bench::makeCorpus(invoices, 500, 1, 1, 11);
    if (parts.contains(u"small"_s)) {
        QList<Contender> small = contendersFor(invoices, cores);
        race(small);
        reportRivals("500 one-page PDFs", small);
    }
    if (parts.contains(u"mixed"_s)) {
        const QString mixed = temp.filePath(u"mixed"_s);
        pelmora::bench::makeCorpus(mixed, 300, 1, 20, 7);
        QList<Contender> larger = contendersFor(mixed, cores);
        race(larger);
        reportRivals("300 PDFs of 1 to 20 pages", larger);
        provenanceCost(mixed, cores);
        cacheCost("the same 300 PDFs: the results cache", mixed, caches + u"/mixed"_s, cores);
    }
    if (parts.contains(u"large"_s)) {
        const QString large = temp.filePath(u"large"_s);
        pelmora::bench::makeCorpus(large, 6, 150, 600, 19);
        cacheCost("6 PDFs of 150 to 600 pages: the results cache", large, caches + u"/large"_s, cores);
    }
    if (parts.contains(u"tail"_s))
        longTail(temp.filePath(u"tail"_s), caches, cores);
    if (parts.contains(u"engines"_s))
        raceEngines(invoices, temp.path(), cores);
    if (parts.contains(u"drawings"_s)) {
        const QString chart = writeChartPdf(temp.filePath(u"chart"_s));
        QList<Contender> drawn = engineContenders(chart, cores);
        race(drawn);
        reportEngines("a chart of 5,000 strokes under 23,000 words of small print a page, 10 pages", drawn);
    }
    if (parts.contains(u"memory"_s))
        memoryOfALargeRun(temp.path(), addresses);
    if (enginesOnly)
        std::printf("reproduce: build Release, then %s --engines %d\n", argv[0], cores);
    else
        std::printf("reproduce: build Release, then %s %d %d %s\n", argv[0], cores, addresses,
                    qPrintable(parts.join(u',')));
    return 0;
}
