// Every page of the PDFs recognised as the converter worker recognises a page without
// text, but with every variant read, one JSON line a page, for
// scripts/ocr-worker-score.py:
//   {"file": name, "page": n, "cpu": seconds, "text": the text the worker hands on,
//    "pieces": [{variant: text}],           what each variant read of each piece
//    "readings": [[{"variant", "text", "heights", "xHeight"}]],
//                                           every reading of each piece, for --revote
//    "votes": {combination: {"sure": [...], "unsure": [...]}}}
// A combination is the page's reading and some variants ("page+Latin"); the worker's
// own is marked "(worker)". Sure addresses are given as the run finds them, after the
// recognised-text repair.
//   pelmora_ocr_pages PDF...
//   pelmora_ocr_pages --revote PAGES.jsonl [--agreement SHARE]
//                                             the votes again from the readings kept, no
//                                             recognition: a change of the vote in seconds
#include "worker/poppler/PdfText.h"
#include "worker/recognition/OcrRepair.h"
#include "worker/recognition/PageRecogniser.h"

#include <GlobalParams.h>
#include <PDFDoc.h>
#include <goo/GooString.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>
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

QJsonObject vote(const std::vector<worker::PieceReadings> &pieces, const std::vector<std::string> &variants,
                 const worker::VoteRules &rules)
{
    QJsonArray sure;
    QJsonArray unsure;
    for (const worker::PieceReadings &piece : pieces) {
        std::vector<worker::Reading> readings;
        for (const auto &[variant, reading] : piece.readings) {
            if (variant == "page" || std::find(variants.begin(), variants.end(), variant) != variants.end())
                readings.push_back(reading);
        }
        for (const worker::VotedAddress &address : worker::VoteReadings(readings, rules).addresses) {
            if (address.sure) {
                // The run's repair may blank it, and then the run lists nothing.
                const QByteArray repaired =
                    RepairRecognisedText(QByteArray::fromStdString(address.address)).trimmed();
                if (!repaired.isEmpty())
                    sure.append(QString::fromUtf8(repaired));
            } else {
                unsure.append(text(address.address));
            }
        }
    }
    return {{u"sure"_s, sure}, {u"unsure"_s, unsure}};
}

template <typename T> QJsonArray array(const std::vector<T> &values)
{
    QJsonArray out;
    for (const T value : values)
        out.append(double(value));
    return out;
}

template <typename T> std::vector<T> values(const QJsonValue &json)
{
    std::vector<T> out;
    for (const QJsonValue value : json.toArray())
        out.push_back(T(value.toDouble()));
    return out;
}

QJsonObject readingJson(const std::string &variant, const worker::Reading &reading)
{
    return {{u"variant"_s, text(variant)},
            {u"text"_s, text(reading.text)},
            {u"heights"_s, array(reading.heights)},
            {u"xHeight"_s, reading.xHeight}};
}

std::vector<worker::PieceReadings> piecesFromJson(const QJsonArray &json)
{
    std::vector<worker::PieceReadings> pieces;
    for (const QJsonValue piece : json) {
        worker::PieceReadings readings;
        for (const QJsonValue one : piece.toArray()) {
            const QJsonObject o = one.toObject();
            worker::Reading reading;
            reading.text = o[u"text"_s].toString().toStdString();
            reading.heights = values<int>(o[u"heights"_s]);
            reading.xHeight = o[u"xHeight"_s].toDouble();
            readings.readings.emplace_back(o[u"variant"_s].toString().toStdString(), std::move(reading));
        }
        pieces.push_back(std::move(readings));
    }
    return pieces;
}

QJsonObject pageJson(const std::vector<worker::PieceReadings> &recognised,
                     const worker::RecognitionSettings &worker)
{
    QJsonArray pieces;
    QJsonArray all;
    for (const worker::PieceReadings &piece : recognised) {
        QJsonObject readings;
        QJsonArray kept;
        for (const auto &[variant, reading] : piece.readings) {
            readings.insert(text(variant), text(reading.text));
            kept.append(readingJson(variant, reading));
        }
        pieces.append(readings);
        all.append(kept);
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
        votes.insert(name, vote(recognised, variants, worker.vote));
    }
    return {{u"pieces"_s, pieces}, {u"readings"_s, all}, {u"votes"_s, votes}};
}

void print(const QJsonObject &line)
{
    std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int revote(const char *path, const worker::RecognitionSettings &workers)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "pelmora_ocr_pages: cannot read %s\n", path);
        return 1;
    }
    while (!file.atEnd()) {
        QJsonObject line = QJsonDocument::fromJson(file.readLine()).object();
        const QJsonObject votes =
            pageJson(piecesFromJson(line[u"readings"_s].toArray()), workers)[u"votes"_s].toObject();
        line.insert(u"votes"_s, votes);
        print(line);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    worker::RecognitionSettings workers;
    if (argc >= 3 && std::string_view(argv[1]) == "--revote") {
        if (argc == 5 && std::string_view(argv[3]) == "--agreement")
            workers.vote.agreement = std::atof(argv[4]);
        return revote(argv[2], workers);
    }
    globalParams = std::make_unique<GlobalParams>();
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
            QJsonObject line = recognised ? pageJson(recognised->pieces, workers) : QJsonObject();
            if (recognised)
                line.insert(u"text"_s, text(recognised->text));
            line.insert(u"file"_s, text(name));
            line.insert(u"page"_s, page);
            line.insert(u"cpu"_s, cpu);
            print(line);
        }
    }
    return 0;
}
