// Both converters on damaged copies of every committed PDF: cut short at several places,
// or with bytes flipped at random (the same ones every run). Each copy gets a whole
// answer in the protocol's order with an outcome the program knows, and one worker
// survives them all.
#include "TestData.h"
#include "WorkerSession.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;
using protocol::Outcome;

namespace {

// The committed passwords, so that damaged encrypted files are decrypted too.
const QList<QByteArray> kPasswords{"secret", "identity-user",
                                   "a-user-password-of-forty-five-characters-long"};

QList<QPair<QString, QByteArray>> damagedCopies(const QString &name, const QByteArray &pdf)
{
    QList<QPair<QString, QByteArray>> copies;
    if (pdf.isEmpty())
        return copies;
    for (const int percent : {10, 50, 90})
        copies.append({u"%1 cut at %2%"_s.arg(name).arg(percent), pdf.left(pdf.size() * percent / 100)});
    copies.append({name + u" without its last 30 bytes"_s, pdf.left(pdf.size() - 30)});
    QRandomGenerator random(qHash(name));
    for (int copy = 1; copy <= 4; ++copy) {
        QByteArray flipped = pdf;
        for (int flip = 0; flip < 16; ++flip)
            flipped[random.bounded(flipped.size())] ^= char(1 << random.bounded(8));
        copies.append({u"%1 with 16 bytes flipped (%2)"_s.arg(name).arg(copy), flipped});
    }
    return copies;
}

} // namespace

class TestDamagedPdfs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyDamagedCopyIsAnswered_data();
    void everyDamagedCopyIsAnswered();
};

void TestDamagedPdfs::everyDamagedCopyIsAnswered_data()
{
    test::EngineRows();
}

void TestDamagedPdfs::everyDamagedCopyIsAnswered()
{
    QFETCH(QString, engine);
    QTemporaryDir temp;
    const QDir data(test::dataFile({}));
    QStringList names = data.entryList({u"*.pdf"_s}, QDir::Files);
    for (const QString &folder : {u"identity"_s, u"ocr"_s}) {
        for (const QString &name : QDir(data.filePath(folder)).entryList({u"*.pdf"_s}, QDir::Files))
            names << folder + u'/' + name;
    }
    QVERIFY(names.size() > 20);
    test::WorkerSession worker(engine);
    QVERIFY(worker.start());
    const QList<Outcome> known{Outcome::Text, Outcome::NeedsPassword, Outcome::WrongPassword,
                               Outcome::Damaged};
    int read = 0;
    int copies = 0;
    for (const QString &name : names) {
        for (const auto &[what, bytes] : damagedCopies(name, test::readFile(data.filePath(name)))) {
            const QString path = temp.filePath(u"copy.pdf"_s);
            QVERIFY(test::writeFile(path, bytes));
            // The scans are recognised too: the picture of a damaged page goes to tesseract.
            const QByteArray options = name.contains(u"scanned.pdf"_s) ? "lo" : "l";
            const std::optional<test::WorkerAnswer> answer =
                worker.ask(test::Request(QFile::encodeName(path), kPasswords, 0, 0, options));
            QVERIFY2(answer, qPrintable(what));
            QVERIFY2(known.contains(answer->opened.outcome), qPrintable(what));
            read += answer->opened.outcome == Outcome::Text;
            ++copies;
        }
    }
    // Many copies still read, at least in part: the converters repair what they can, so
    // the copies reach the code past the opening (here poppler reads 57 of 168, MuPDF 127).
    QVERIFY2(read > copies / 4, qPrintable(u"%1 of %2 read"_s.arg(read).arg(copies)));
    QCOMPARE(worker.finish(), 0);
}

QTEST_GUILESS_MAIN(TestDamagedPdfs)
#include "tst_damagedpdfs.moc"
