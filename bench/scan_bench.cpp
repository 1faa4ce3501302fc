// The folder scan of "Add All PDF File(s) In Folder" over a generated tree, side by side
// with find -iname on the same tree in the same run. Run it from a Release build.
#include "inputs/FolderWalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// Folders breadth-first with a few sub-folders each, every folder holding the same mix
// of PDFs in both letter cases and other documents.
qsizetype makeTree(const QString &root, int folders, int filesEach)
{
    static const char *const names[] = {"report", "Invoice", "scan",    "letter",
                                        "notes",  "draft",   "Minutes", "list"};
    static const char *const extensions[] = {".pdf",  ".PDF", ".txt",  ".pdf",
                                             ".docx", ".pdf", ".xlsx", ".Pdf"};
    QStringList queue{root};
    qsizetype made = 0;
    qsizetype files = 0;
    for (qsizetype next = 0; made < folders; ++next) {
        const QString parent = queue[next];
        for (int child = 0; child < 9 && made < folders; ++child, ++made) {
            const QString folder = parent + u"/Folder %1"_s.arg(made);
            QDir().mkdir(folder);
            queue.append(folder);
            const QByteArray base = QFile::encodeName(folder) + '/';
            for (int f = 0; f < filesEach; ++f, ++files) {
                const QByteArray file = base + names[f % 8] + '-' + QByteArray::number(f) + extensions[f % 8];
                const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                if (fd >= 0)
                    ::close(fd);
            }
        }
    }
    return files;
}

double seconds(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double timeScan(const QString &root, bool handleEvents, qsizetype *rows)
{
    WalkHooks hooks;
    if (handleEvents) {
        hooks.progress = [](const QString &) {
            QCoreApplication::processEvents();
            return true;
        };
    }
    QElapsedTimer timer;
    timer.start();
    FolderScan scan(u"*.pdf"_s, hooks);
    *rows = scan.filesIn(root).size();
    return seconds(timer);
}

double timeFind(const QString &root, qsizetype *lines)
{
    QProcess find;
    QElapsedTimer timer;
    timer.start();
    find.start(u"find"_s, {root, u"-iname"_s, u"*.pdf"_s});
    QByteArray output;
    while (find.waitForReadyRead(-1))
        output += find.readAllStandardOutput();
    find.waitForFinished(-1);
    output += find.readAllStandardOutput();
    const double elapsed = seconds(timer);
    *lines = output.count('\n');
    return elapsed;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int folders = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int filesEach = argc > 2 ? std::atoi(argv[2]) : 10;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    QTemporaryDir temp;
    const QString root = temp.filePath(u"tree"_s);
    QDir().mkdir(root);

    QElapsedTimer making;
    making.start();
    const qsizetype files = makeTree(root, folders, filesEach);
    std::printf(
        "Folder scan over a generated tree: %d folders below the chosen one, %lld files (made in %.1f s)\n",
        folders, (long long)files, seconds(making));

    // One untimed pass of each, so all three read a warm cache.
    qsizetype scanned = 0;
    qsizetype found = 0;
    qsizetype quiet = 0;
    timeScan(root, true, &scanned);
    timeFind(root, &found);

    QList<double> withEvents, withoutEvents, byFind;
    for (int round = 0; round < rounds; ++round) {
        withEvents.append(timeScan(root, true, &scanned));
        withoutEvents.append(timeScan(root, false, &quiet));
        byFind.append(timeFind(root, &found));
    }

    const auto line = [](const char *what, const QList<double> &times, qsizetype count) {
        std::printf("%-44s %9.1f %9.1f %10lld\n", what, median(times) * 1000.0,
                    *std::min_element(times.cbegin(), times.cend()) * 1000.0, (long long)count);
    };
    std::printf("\n%-44s %9s %9s %10s\n", "what", "median ms", "best ms", "files");
    line("FolderScan \"*.pdf\", events handled per folder", withEvents, scanned);
    line("FolderScan \"*.pdf\", no event handling", withoutEvents, quiet);
    line("find DIR -iname '*.pdf'", byFind, found);
    std::printf("\nscan / find (medians): %.2fx with events, %.2fx without; goal: within 2x\n",
                median(withEvents) / median(byFind), median(withoutEvents) / median(byFind));
    if (scanned != found)
        std::printf("the counts differ: the scan leaves out hidden and \"~\" names, find does not.\n");
    else
        std::printf("both found the same files.\n");
    std::printf("reproduce: build Release, then %s %d %d %d\n", argv[0], folders, filesEach, rounds);
    return 0;
}
