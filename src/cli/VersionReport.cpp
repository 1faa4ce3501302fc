#include "cli/VersionReport.h"

#include "convert/ConverterQuestion.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

int PrintVersions(std::FILE *out, std::FILE *err, const QString &converter)
{
    std::fputs("pelmora-extract " PELMORA_VERSION "\n", out);
    QString problem;
    if (converter.isEmpty()) {
        problem = ProgramOf(converter).missingHint;
    } else if (const std::optional<QByteArray> answer = AskConverter(converter, u"--version"_s);
               answer && answer->startsWith("pelmora-convert ")) {
        std::fwrite(answer->constData(), 1, static_cast<size_t>(answer->size()), out);
        return std::fflush(out) == 0 ? 0 : 2;
    } else {
        problem = u"The PDF converter "_s + converter +
                  u" did not tell its version and its libraries'. Please install Pelmora again."_s;
    }
    std::fflush(out);
    std::fprintf(err, "pelmora-extract: %s\n", problem.toLocal8Bit().constData());
    return 2;
}

} // namespace pelmora
