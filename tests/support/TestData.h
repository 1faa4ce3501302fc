#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pelmora::test {

// A file of the committed test data (tests/data), by name.
QString dataFile(const QString &name);

// The folder of the installed tesseract language data.
QString SystemTessdata();

// The program's own converter, as built.
QString ServiceProgram();

// A one-page PDF of `words` words in random places and sizes: poppler's text layout
// takes seconds over it (about 10 s for 50,000 words here), while the file opens at once.
[[nodiscard]] bool WriteBusyPdf(const QString &path, int words);

// A PDF of these objects, numbered from 1 (the first is the catalog), with its
// cross-reference table.
QByteArray PdfOfObjects(const QList<QByteArray> &objects);

// The bytes of a file; "<unreadable>" when it cannot be read.
QByteArray readFile(const QString &path);
// Writes the whole file; false, with a warning, when it could not.
[[nodiscard]] bool writeFile(const QString &path, const QByteArray &bytes);
// The bytes of every file in a folder (hidden ones too), one after the other: for
// checking what was never written there.
QByteArray folderBytes(const QString &folder);

} // namespace pelmora::test
