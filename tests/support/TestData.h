#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace pelmora::test {

// A file of the committed test data (tests/data), by name.
QString dataFile(const QString &name);

// The folder of the installed tesseract language data.
QString SystemTessdata();

// The PDF libraries of the program's own converter, by the names --engine takes.
QStringList EngineNames();
// The program's own converter with that engine, as built.
QString ServiceProgram(const QString &engine = QStringLiteral("poppler"));
// The column "engine" and a row for each engine, for tests that run with both.
void EngineRows();

// A one-page PDF of `words` words in random places and sizes, then a form drawn four
// million times through nested forms: poppler's text layout takes seconds over the words
// (about 10 s for 50,000 words here), MuPDF as long over the forms, while the file opens
// at once.
[[nodiscard]] bool WriteBusyPdf(const QString &path, int words);

// A PDF of these objects, numbered from 1 (the first is the catalog), with its
// cross-reference table.
QByteArray PdfOfObjects(const QList<QByteArray> &objects);

// A one-page PDF whose text is `line` (Latin-1, no parentheses or backslashes), in the
// font `font` describes (Helvetica unless told).
QByteArray TextPdf(const QByteArray &line,
                   const QByteArray &font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
// A one-page PDF whose contents are `content`, with that font as /F1.
QByteArray ContentPdf(const QByteArray &content,
                      const QByteArray &font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");

// The bytes of a file; "<unreadable>" when it cannot be read.
QByteArray readFile(const QString &path);
// Writes the whole file; false, with a warning, when it could not.
[[nodiscard]] bool writeFile(const QString &path, const QByteArray &bytes);
// The bytes of every file in a folder (hidden ones too), one after the other: for
// checking what was never written there.
QByteArray folderBytes(const QString &folder);

} // namespace pelmora::test
