#include "PdfCorpus.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::bench {

namespace {

QByteArray escaped(const QString &line)
{
    QByteArray out;
    for (char c : line.toLatin1()) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

const char *const kWords[] = {"the",      "quarterly", "report", "lists", "contacts", "for",
                              "regional", "offices",   "please", "write", "to",       "our",
                              "team",     "about",     "orders", "and",   "invoices"};

} // namespace

bool writeTextPdf(const QString &path, const QList<QStringList> &pages)
{
    QList<QByteArray> objects; // numbered from 1
    const int pageCount = static_cast<int>(pages.size());
    // 1 catalog, 2 pages, 3 font, then page/content pairs.
    QByteArray kids;
    for (int i = 0; i < pageCount; ++i)
        kids += QByteArray::number(4 + 2 * i) + " 0 R ";
    objects << "<< /Type /Catalog /Pages 2 0 R >>";
    objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pageCount) + " >>";
    objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    for (int i = 0; i < pageCount; ++i) {
        QByteArray content = "BT /F1 10 Tf 12 TL 50 780 Td\n";
        for (const QString &line : pages[i])
            content += '(' + escaped(line) + ") Tj T*\n";
        content += "ET\n";
        objects
            << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
               "/Contents " +
                   QByteArray::number(5 + 2 * i) + " 0 R >>";
        objects << "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content +
                       "endstream";
    }
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size();
}

QStringList makeCorpus(const QString &folder, int files, int minPages, int maxPages, quint32 seed)
{
    QDir().mkpath(folder);
    QRandomGenerator random(seed);
    QStringList paths;
    for (int f = 0; f < files; ++f) {
        QList<QStringList> pages;
        const int pageCount = minPages + int(random.bounded(std::max(1, maxPages - minPages + 1)));
        for (int p = 0; p < pageCount; ++p) {
            QStringList lines;
            for (int l = 0; l < 55; ++l) {
                QString line;
                for (int w = 0; w < 12; ++w)
                    line += QString::fromLatin1(kWords[random.bounded(int(std::size(kWords)))]) + u' ';
                if (random.bounded(6) == 0)
                    line +=
                        u"(user%1@dept%2.example.com),"_s.arg(random.bounded(5000)).arg(random.bounded(40));
                lines << line;
            }
            pages << lines;
        }
        const QString path = folder + u"/doc%1.pdf"_s.arg(f, 4, 10, QChar(u'0'));
        writeTextPdf(path, pages);
        paths << path;
    }
    return paths;
}

double timeShell(const QString &command, QByteArray *output)
{
    QProcess shell;
    QElapsedTimer timer;
    timer.start();
    shell.start(u"/bin/sh"_s, {u"-c"_s, command});
    if (!shell.waitForFinished(-1) || shell.exitStatus() != QProcess::NormalExit)
        return -1;
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (output)
        *output = shell.readAllStandardOutput();
    return ms;
}

} // namespace pelmora::bench
