#include "app/Settings.h"

#include "core/AppError.h"

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
    return value.isValid() ? value.toString() : fallback;
}

void Settings::write(const QString &key, const QString &value)
{
    m_store->setValue(qualified(key), value);
    m_store->sync();
    if (m_store->status() == QSettings::NoError || std::exchange(m_told, true) || !m_report)
        return;
    m_report(u"Your settings cannot be saved in "_s + m_store->fileName() +
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
    QStringList patterns;
    for (const QString &line : read(key, {}).split(u'\n')) {
        const QString pattern = line.trimmed();
        if (!pattern.isEmpty() && !pattern.startsWith(u'#'))
            patterns.append(pattern);
    }
    return patterns;
}

QString Settings::ocrLanguages() const
{
    const QString languages = read(ocrLanguagesKey(), {}).trimmed();
    return languages.isEmpty() ? u"eng"_s : languages;
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
