#include "app/Settings.h"

#include "app/AppTitle.h"
#include "core/AppError.h"
#include "core/ErrorSink.h"

#include <QRegularExpression>
#include <QSettings>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

const auto kGroup = u"Pelmora"_s;

QString qualified(const QString &key)
{
    return kGroup + u'/' + key;
}

AppError typeMismatch()
{
    return AppError(u"Type mismatch"_s);
}

} // namespace

Settings::Settings()
    : m_store(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, u"Qarvelle"_s,
                                          u"Pelmora"_s))
{
}

Settings::Settings(const QString &iniFile)
    : m_store(std::make_unique<QSettings>(iniFile, QSettings::IniFormat))
{
}

Settings::~Settings() = default;

QString Settings::read(const QString &key, const QString &fallback) const
{
    const QVariant value = m_store->value(qualified(key));
    // A hand-edited "a, b" comes back as a list, whose toString() is empty.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u", "_s);
    return value.isValid() ? value.toString() : fallback;
}

void Settings::write(const QString &key, const QString &value)
{
    m_store->setValue(qualified(key), value);
    m_store->sync();
    if (m_store->status() == QSettings::NoError || std::exchange(m_told, true) || !m_problems)
        return;
    m_problems->reportError(
        AppTitle(),
        u"Your settings cannot be saved in "_s + m_store->fileName() +
            u". Pelmora works as usual, but the password options, the folder last chosen, the list of "
            u"sample files and the preferences will not be remembered the next time it starts. Please "
            u"check that the folder exists and that you may write to it."_s);
}

PdfEngine Settings::pdfEngine() const
{
    return PdfEngineNamed(read(engineKey(), {}).trimmed().toLower()).value_or(kDefaultEngine);
}

bool Settings::flag(const QString &key, bool fallback) const
{
    try {
        return toBoolean(read(key, fromBoolean(fallback)));
    } catch (const AppError &) {
        return fallback;
    }
}

QStringList Settings::domainPatterns(const QString &key) const
{
    return patternsOf(read(key, {}));
}

QStringList Settings::patternsOf(const QString &text)
{
    QStringList patterns;
    for (const QString &line : text.split(u'\n')) {
        if (line.trimmed().startsWith(u'#'))
            continue;
        // No domain holds a comma: a hand-edited line may list several.
        for (const QString &each : line.split(u',')) {
            const QString pattern = each.trimmed();
            if (!pattern.isEmpty())
                patterns.append(pattern);
        }
    }
    return patterns;
}

QString Settings::ocrLanguages() const
{
    // "deu+eng" as stored; "deu, eng" or "deu eng" as a hand may write it.
    static const QRegularExpression separators(u"[+,\\s]+"_s);
    const QStringList languages = read(ocrLanguagesKey(), {}).split(separators, Qt::SkipEmptyParts);
    return languages.isEmpty() ? u"eng"_s : languages.join(u'+');
}

RunRequest Settings::runRequest() const
{
    RunRequest request;
    const AddressChoices choices{flag(anyDomainKey(), false), flag(disguisedKey(), false),
                                 domainPatterns(excludeDomainsKey()), domainPatterns(onlyDomainsKey())};
    request.rules = RulesFor(choices, request.problems);
    request.links = flag(linksKey(), true);
    request.sources = {flag(notesKey(), true), flag(metadataKey(), false), flag(attachmentsKey(), false)};
    request.engine = pdfEngine();
    request.recognition = ocrLanguages();
    request.cache = flag(resultsCacheKey(), true);
    return request;
}

bool Settings::toBoolean(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(u"true"_s, Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"false"_s, Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok)
        throw typeMismatch();
    return number != 0.0;
}

int Settings::toInteger(const QString &text)
{
    bool ok = false;
    const int number = text.trimmed().toInt(&ok);
    if (!ok)
        throw typeMismatch();
    return number;
}

QString Settings::fromBoolean(bool value)
{
    return value ? u"True"_s : u"False"_s;
}

QString Settings::fileName() const
{
    return m_store->fileName();
}

} // namespace pelmora
