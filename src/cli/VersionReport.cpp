#include "cli/VersionReport.h"

#include "convert/ConverterQuestion.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QList<InstalledConverter> InstalledConverters()
{
    return {{kDefaultEngine, InstalledServiceProgram(kDefaultEngine)},
            {kAlternativeEngine, InstalledServiceProgram(kAlternativeEngine)}};
}

int PrintVersions(std::FILE *out, std::FILE *err, const QList<InstalledConverter> &converters)
{
    std::fputs("pelmora-extract " PELMORA_VERSION "\n", out);
    std::fprintf(out,
                 "default PDF library: %s (a quarter of poppler's time on long documents, the same "
                 "addresses; --engine poppler gives the text pdftotext writes)\n",
                 PdfEngineName(kDefaultEngine).toUtf8().constData());
    for (const InstalledConverter &converter : converters) {
        const ConverterProgram expected = ProgramOf(converter.program, converter.engine);
        QString problem;
        if (converter.program.isEmpty()) {
            problem = expected.missingHint;
        } else if (const std::optional<QByteArray> answer = AskConverter(converter.program, u"--version"_s);
                   answer && answer->startsWith(QByteArray(expected.name.toUtf8() + ' '))) {
            std::fwrite(answer->constData(), 1, static_cast<size_t>(answer->size()), out);
            continue;
        } else {
            problem = u"The PDF converter "_s + converter.program +
                      u" did not tell its version and its libraries'. Please install Pelmora again."_s;
        }
        std::fflush(out);
        std::fprintf(err, "pelmora-extract: %s\n", problem.toLocal8Bit().constData());
        return 2;
    }
    return std::fflush(out) == 0 ? 0 : 2;
}

} // namespace pelmora
