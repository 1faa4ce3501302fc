// Standard input to standard output through RepairRecognisedText, so that
// scripts/ocr-eval.py measures the program's own repair.
//   pelmora_ocr_repair [--only NAME,...]   names: at dashes case
#include "worker/recognition/OcrRepair.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

using namespace pelmora;

int main(int argc, char **argv)
{
    OcrRepairs repairs = kDefaultOcrRepairs;
    if (argc == 3 && std::strcmp(argv[1], "--only") == 0) {
        repairs = {};
        const std::string names = std::string(",") + argv[2] + ",";
        const struct
        {
            const char *name;
            OcrRepair repair;
        } known[] = {
            {",at,", OcrRepair::AtSpacing},
            {",dashes,", OcrRepair::Dashes},
            {",case,", OcrRepair::LookAlikeCase},
        };
        for (const auto &k : known) {
            if (names.find(k.name) != std::string::npos)
                repairs |= k.repair;
        }
    } else if (argc != 1) {
        std::fputs("usage: pelmora_ocr_repair [--only at,dashes,case]\n", stderr);
        return 2;
    }
    const std::string in((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    const QByteArray out = RepairRecognisedText(QByteArrayView(in.data(), qsizetype(in.size())), repairs);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
