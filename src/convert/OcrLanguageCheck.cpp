#include "convert/OcrLanguageCheck.h"

#include "convert/ConverterQuestion.h"
#include "protocol/OcrLanguages.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QString OcrLanguageProblem(const QString &program, const QString &languages)
{
    const OcrLanguages parsed = ParseOcrLanguages(languages.toStdString());
    if (!parsed.invalid.empty())
        return u"\""_s + QString::fromStdString(parsed.invalid.front()) +
               u"\" is no OCR language; give tesseract's codes joined with \"+\", such as eng+deu."_s;
    const std::optional<QByteArray> listed = AskConverter(program, u"--ocr-languages"_s);
    if (!listed)
        return u"The converter "_s + program + u" could not list the OCR languages."_s;
    const QStringList installed = QString::fromUtf8(*listed).split(u'\n');
    QStringList missing;
    QStringList packages;
    for (const std::string &code : parsed.needed) {
        if (!installed.contains(QString::fromStdString(code))) {
            missing.append(QString::fromStdString(code));
            packages.append(QString::fromStdString(DebianPackageFor(code)));
        }
    }
    if (missing.isEmpty())
        return {};
    return u"OCR language "_s + missing.join(u", "_s) + u" is not installed. Please install "_s +
           packages.join(u' ') + u" (sudo apt-get install "_s + packages.join(u' ') + u")."_s;
}

} // namespace pelmora
