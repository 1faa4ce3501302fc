#pragma once

#include <QString>
#include <QStringList>

namespace pelmora::bench {

// Writes a plain text PDF (standard Helvetica, one text line per entry) with one page
// per list of lines. Small and quick to make, so benchmarks build their own corpus.
bool writeTextPdf(const QString &path, const QList<QStringList> &pages);

// A folder of `files` PDFs of `minPages` to `maxPages` pages each (evenly spread) with
// addresses spread through the text. Returns the paths in name order.
QStringList makeCorpus(const QString &folder, int files, int minPages, int maxPages, quint32 seed = 7);

// Wall time in milliseconds of a shell command; -1 when it failed.
double timeShell(const QString &command, QByteArray *output = nullptr);

} // namespace pelmora::bench
