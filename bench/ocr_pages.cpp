// Every page of the PDFs recognised as the converter worker recognises a page without
// text, one JSON line a page, for scripts/ocr-worker-score.py:
//   {"file": name, "page": n, "text": the page's text (recognised-text repair applied,
//    as the run applies it), "unsure": [addresses], "pieces": [{"readings": {variant:
//    text}, "addresses": [{"address": a, "sure": true, "agreement": 0.8}]}], "cpu": seconds}
//   pelmora_ocr_pages PDF...
#include "extract/OcrRepair.h"
#include "worker/PageRecogniser.h"

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

namespace {

QString text(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

QJsonObject pageJson(const worker::RecognisedPage &page)
{
    const QByteArray repaired =
        RepairRecognisedText(QByteArrayView(page.text.data(), qsizetype(page.text.size())));
    QJsonArray unsure;
    for (const std::string &address : page.unsureAddresses)
        unsure.append(text(address));
    QJsonArray pieces;
    for (const worker::PieceReadings &piece : page.pieces) {
        QJsonObject readings;
        for (const auto &[variant, reading] : piece.readings)
            readings.insert(text(variant), text(reading));
        QJsonArray addresses;
        for (const worker::VotedAddress &address : piece.vote.addresses)
            addresses.append(QJsonObject{{u"address"_s, text(address.address)},
                                         {u"sure"_s, address.sure},
                                         {u"agreement"_s, address.agreement}});
        pieces.append(QJsonObject{{u"readings"_s, readings}, {u"addresses"_s, addresses}});
    }
    return {{u"text"_s, QString::fromUtf8(repaired)}, {u"unsure"_s, unsure}, {u"pieces"_s, pieces}};
}

} // namespace

int main(int argc, char **argv)
{
    globalParams = std::make_unique<GlobalParams>();
    worker::PageRecogniser recogniser;
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
            const std::optional<worker::RecognisedPage> recognised = recogniser.recognise(doc, page);
            const double cpu = double(std::clock() - start) / CLOCKS_PER_SEC;
            QJsonObject line = recognised ? pageJson(*recognised) : QJsonObject();
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
