#include "extract/AddressRules.h"

#include "core/AppError.h"
#include "extract/KnownDomains.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

QByteArray domainPattern(const QString &pattern)
{
    const QByteArray lower = pattern.trimmed().toLower().toLatin1();
    bool valid = !lower.isEmpty();
    for (const char c : lower)
        valid =
            valid && ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '*');
    if (!valid)
        throw AppError(
            u"\""_s + pattern +
            u"\" is no domain pattern: give a domain name such as example.com or *.example.com."_s);
    return lower;
}

// Whole-text match; "*" takes any run of characters, retried longer on a mismatch.
bool matches(QByteArrayView pattern, QByteArrayView text)
{
    qsizetype p = 0, t = 0, star = -1, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool matchesAny(const QList<QByteArray> &patterns, QByteArrayView domain)
{
    return std::any_of(patterns.cbegin(), patterns.cend(),
                       [&](const QByteArray &pattern) { return matches(pattern, domain); });
}

} // namespace

void DomainFilter::exclude(const QString &pattern)
{
    m_excluded.append(domainPattern(pattern));
}

void DomainFilter::keepOnly(const QString &pattern)
{
    m_kept.append(domainPattern(pattern));
}

bool DomainFilter::accepts(QByteArrayView domain) const
{
    const QByteArray lower = domain.toByteArray().toLower();
    return !matchesAny(m_excluded, lower) && (m_kept.isEmpty() || matchesAny(m_kept, lower));
}

QString DomainFilter::describe() const
{
    QString text;
    for (const QByteArray &pattern : m_excluded)
        text += u" -"_s + QString::fromLatin1(pattern);
    for (const QByteArray &pattern : m_kept)
        text += u" +"_s + QString::fromLatin1(pattern);
    return text;
}

QString AddressRules::toLine() const
{
    return QString::number(on.toInt()) + domains.describe();
}

std::optional<AddressRules> AddressRules::fromLine(QByteArrayView line)
{
    if (line.isEmpty())
        return AddressRules();
    const QList<QByteArray> words = line.toByteArray().split(' ');
    bool isNumber = false;
    const int on = words.first().toInt(&isNumber);
    if (!isNumber || on < 0)
        return std::nullopt;
    AddressRules rules{AddressRuleSet::fromInt(on), {}};
    try {
        for (const QByteArray &word : words.sliced(1)) {
            const QString pattern = QString::fromLatin1(word.sliced(std::min<qsizetype>(1, word.size())));
            if (word.startsWith('-'))
                rules.domains.exclude(pattern);
            else if (word.startsWith('+'))
                rules.domains.keepOnly(pattern);
            else
                return std::nullopt;
        }
    } catch (const AppError &) {
        return std::nullopt;
    }
    return rules;
}

QString AddressRules::describe() const
{
    QString text = u"rules "_s + toLine();
    if (has(AddressRule::KnownDomains))
        text += u"; "_s + KnownDomains::system().identity();
    return text;
}

} // namespace pelmora
