#include "TestData.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

QString dataFile(const QString &name)
{
    return QStringLiteral(PELMORA_TEST_DATA "/") + name;
}

QString SystemTessdata()
{
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    return prefix.isEmpty() ? QStringLiteral("/usr/share/tesseract-ocr/5/tessdata") : prefix;
}

QStringList EngineNames()
{
    return {u"poppler"_s, u"mupdf"_s};
}

void EngineRows()
{
    QTest::addColumn<QString>("engine");
    for (const QString &engine : EngineNames())
        QTest::newRow(qPrintable(engine)) << engine;
}

QString ServiceProgram(const QString &engine)
{
    return engine == u"mupdf"_s ? QStringLiteral(PELMORA_CONVERT_MUPDF_PROGRAM)
                                : QStringLiteral(PELMORA_CONVERT_PROGRAM);
}

bool WriteBusyPdf(const QString &path, int words)
{
    QRandomGenerator random(5);
    QByteArray content = "BT\n";
    for (int i = 0; i < words; ++i) {
        const auto between = [&](double low, double high) { return low + random.bounded(high - low); };
        content += "/F1 " + QByteArray::number(between(1, 30), 'f', 1) + " Tf 1 0 0 1 " +
                   QByteArray::number(between(10, 600), 'f', 2) + ' ' +
                   QByteArray::number(between(10, 780), 'f', 2) + " Tm (w" +
                   QByteArray::number(random.bounded(100000)) + ") Tj\n";
    }
    content += "ET\n/B Do\n";
    // Form 6 draws a line; each form after it draws the one before twice: 2^22 lines.
    constexpr int kForms = 23;
    QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [4 0 R] /Count 1 >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> "
        "/XObject << /B " +
            QByteArray::number(5 + kForms) + " 0 R >> >> /Contents 5 0 R >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream",
    };
    for (int form = 6; form < 6 + kForms; ++form) {
        const QByteArray draw = form == 6 ? "0 0 m 1 1 l S\n" : "/X Do /X Do\n";
        const QByteArray inner =
            form == 6 ? QByteArray()
                      : " /Resources << /XObject << /X " + QByteArray::number(form - 1) + " 0 R >> >>";
        objects << "<< /Type /XObject /Subtype /Form /BBox [0 0 612 792]" + inner + " /Length " +
                       QByteArray::number(draw.size()) + " >>\nstream\n" + draw + "endstream";
    }
    return writeFile(path, PdfOfObjects(objects));
}

QByteArray PdfOfObjects(const QList<QByteArray> &objects)
{
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

QByteArray TextPdf(const QByteArray &line, const QByteArray &font)
{
    return ContentPdf("BT /F1 10 Tf 20 700 Td (" + line + ") Tj ET", font);
}

QByteArray ContentPdf(const QByteArray &content, const QByteArray &font)
{
    return PdfOfObjects(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [4 0 R] /Count 1 >>", font,
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R "
         ">> >> /Contents 5 0 R >>",
         "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream"});
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray folderBytes(const QString &folder)
{
    QByteArray bytes;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        bytes += readFile(dir.filePath(name));
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush())
        return true;
    qWarning("could not write %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

} // namespace pelmora::test
