// Every page of the PDFs recognised as the converter worker recognises a page without
// text, but with every variant read, one JSON line a page, for
// scripts/ocr-worker-score.py:
//   {"file": name, "page": n, "cpu": seconds,
//    "pieces": [{variant: text}],           what each variant read of each piece
//    "votes": {combination: {"sure": [...], "unsure": [...]}}}
// A combination is the page's reading and some variants ("page+Latin"); the worker's
// own is marked "(worker)". Sure addresses are given as the run finds them, after the
// recognised-text repair.
//   pelmora_ocr_pages PDF...
#include "extract/OcrRepair.h"
#include "worker/PageRecogniser.h"
#include "worker/PdfText.h"

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <goo/GooString.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

using namespace pelmora;
using namespace Qt::Literals::StringLiterals;
using worker::PieceVariant;

namespace {

QString text(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// The combinations measured: the page's reading and these variants.
const std::vector<std::vector<PieceVariant>> kCombinations{
    {PieceVariant::SecondModel},
    {PieceVariant::Grey, PieceVariant::SecondModel},
    {PieceVariant::Grey, PieceVariant::Scaled, PieceVariant::Binarised},
    {PieceVariant::Grey, PieceVariant::Scaled, PieceVariant::Binarised, PieceVariant::SecondModel},
};

QJsonObject vote(const std::vector<worker::PieceReadings> &pieces, const std::vector<std::string> &variants)
{
    QJsonArray sure;
    QJsonArray unsure;
    for (const worker::PieceReadings &piece : pieces) {
        std::vector<worker::Reading> readings;
        for (const auto &[variant, reading] : piece.readings) {
            if (variant == "page" || std::find(variants.begin(), variants.end(), variant) != variants.end())
                readings.push_back(reading);
        }
        for (const worker::VotedAddress &address : worker::VoteReadings(readings).addresses) {
            if (address.sure) {
                const QByteArray bytes = QByteArray::fromStdString(address.address);
                sure.append(QString::fromUtf8(RepairRecognisedText(bytes)));
            } else {
                unsure.append(text(address.address));
            }
        }
    }
    return {{u"sure"_s, sure}, {u"unsure"_s, unsure}};
}

QJsonObject pageJson(const worker::RecognisedPage &page, const worker::RecognitionSettings &worker)
{
    QJsonArray pieces;
    for (const worker::PieceReadings &piece : page.pieces) {
        QJsonObject readings;
        for (const auto &[variant, reading] : piece.readings)
            readings.insert(text(variant), text(reading.text));
        pieces.append(readings);
    }
    QJsonObject votes;
    for (const std::vector<PieceVariant> &combination : kCombinations) {
        QString name = u"page"_s;
        std::vector<std::string> variants;
        for (const PieceVariant variant : combination) {
            variants.push_back(worker::VariantName(variant, worker));
            name += u'+' + text(variants.back());
        }
        if (combination == worker.variants)
            name += u" (worker)"_s;
        votes.insert(name, vote(page.pieces, variants));
    }
    return {{u"pieces"_s, pieces}, {u"votes"_s, votes}};
}

} // namespace

int main(int argc, char **argv)
{
    globalParams = std::make_unique<GlobalParams>();
    const worker::RecognitionSettings workers;
    worker::RecognitionSettings all = workers;
    all.variants = {PieceVariant::Grey, PieceVariant::Scaled, PieceVariant::Binarised,
                    PieceVariant::SecondModel};
    worker::PageRecogniser recogniser(all);
    for (int a = 1; a < argc; ++a) {
        PDFDoc doc(std::make_unique<GooString>(argv[a]));
        if (!doc.isOk()) {
            std::fprintf(stderr, "pelmora_ocr_pages: cannot open %s\n", argv[a]);
            return 1;
        }
        const std::string path = argv[a];
        const std::string name = path.substr(path.rfind('/') + 1);
        for (int page = 1; page <= doc.getNumPages(); ++page) {
            const std::clock_t start = std::clock();
            worker::PopplerPage renderable(doc, page);
            const std::optional<worker::RecognisedPage> recognised = recogniser.recognise(renderable);
            const double cpu = double(std::clock() - start) / CLOCKS_PER_SEC;
            QJsonObject line = recognised ? pageJson(*recognised, workers) : QJsonObject();
            line.insert(u"file"_s, text(name));
            line.insert(u"page"_s, page);
            line.insert(u"cpu"_s, cpu);
            std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
    }
    return 0;
}
