#include "app/OcrLanguageNames.h"

#include "protocol/OcrLanguages.h"

#include <QLocale>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// The codes of tesseract's models that are no ISO 639 language Qt knows.
QString namedByTesseract(const QString &code)
{
    static const std::pair<QString, QString> kNames[] = {
        {u"enm"_s, u"Middle English"_s}, {u"equ"_s, u"Mathematics"_s}, {u"frk"_s, u"German (Fraktur)"_s},
        {u"frm"_s, u"Middle French"_s},  {u"kmr"_s, u"Kurmanji"_s},    {u"nor"_s, u"Norwegian"_s},
    };
    for (const auto &[each, name] : kNames) {
        if (each == code)
            return name;
    }
    return {};
}

QString languageName(const QString &code)
{
    const QString named = namedByTesseract(code);
    if (!named.isEmpty())
        return named;
    const QLocale::Language language = QLocale::codeToLanguage(code, QLocale::ISO639Part2);
    return language == QLocale::AnyLanguage ? QString() : QLocale::languageToString(language);
}

QString scriptName(const QString &code)
{
    const QLocale::Script script = QLocale::codeToScript(code);
    return script == QLocale::AnyScript ? QString() : QLocale::scriptToString(script);
}

// What a model's name says after the language: "sim" of "chi_sim", "latn" of "srp_latn".
QString variantName(const QString &suffix)
{
    static const std::pair<QString, QString> kVariants[] = {
        {u"sim"_s, u"Simplified"_s}, {u"tra"_s, u"Traditional"_s}, {u"old"_s, u"old"_s},
        {u"vert"_s, u"vertical"_s},  {u"frak"_s, u"Fraktur"_s},
    };
    for (const auto &[each, name] : kVariants) {
        if (each == suffix)
            return name;
    }
    return scriptName(suffix);
}

} // namespace

QString OcrLanguageName(const QString &code)
{
    const QString vertical = u"_vert"_s;
    const QString script = QString::fromLatin1(ScriptCodeOf(code.toStdString()));
    if (!script.isEmpty()) {
        // A script model: Qt's name of the script where it has one, tesseract's otherwise.
        QString name = code.mid(code.lastIndexOf(u'/') + 1);
        if (name.endsWith(vertical))
            name.chop(vertical.size());
        const QString known = scriptName(script);
        return (known.isEmpty() ? QString(name).replace(u'_', u' ') : known) + u" script"_s +
               (code.endsWith(vertical) ? u" (vertical)"_s : QString());
    }
    const QStringList parts = code.split(u'_');
    const QString language = languageName(parts.front());
    if (language.isEmpty())
        return code;
    QStringList variants;
    for (const QString &suffix : parts.sliced(1)) {
        const QString variant = variantName(suffix);
        if (variant.isEmpty())
            return code;
        variants.append(variant);
    }
    return variants.isEmpty() ? language : language + u" ("_s + variants.join(u", "_s) + u')';
}

} // namespace pelmora
