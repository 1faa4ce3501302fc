#include "run/PasswordPrompt.h"

#include <QSet>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// `first`, then the others of `list` in their order.
QStringList withFirst(const QString &first, QStringList list)
{
    list.removeOne(first);
    list.prepend(first);
    return list;
}

} // namespace

QString PasswordPromptTitle()
{
    return u"Input Password"_s;
}

QString PasswordPromptText(PasswordPrompt prompt, const QString &pdf)
{
    if (prompt == PasswordPrompt::ForAllFiles)
        return u"Enter password for all files:"_s;
    return u"Enter password for file ("_s + pdf +
           u"): \r\nNote: Leave this box blank if file is not password protected"_s;
}

PasswordRules::PasswordRules(const QStringList &known)
{
    QSet<QString> seen;
    seen.reserve(known.size());
    for (const QString &password : known) {
        if (!seen.contains(password)) {
            seen.insert(password);
            m_known.append(password);
        }
    }
    m_toTry = m_known;
}

PasswordRules::Step PasswordRules::onRefused(PasswordMode mode, const QStringList &tried, bool handled) const
{
    if (handled || mode == PasswordMode::None)
        return Step::Settle;
    if (mode == PasswordMode::PerFile || !m_askedForAll)
        return Step::Ask;
    // The answer for all files was given at an earlier file: tried here once, if it was not.
    return !m_forAll.isEmpty() && !tried.contains(m_forAll) ? Step::Retry : Step::Settle;
}

PasswordPrompt PasswordRules::prompt(PasswordMode mode)
{
    return mode == PasswordMode::SameForAll ? PasswordPrompt::ForAllFiles : PasswordPrompt::ForFile;
}

QStringList PasswordRules::onAnswer(PasswordPrompt prompt, const QString &answer)
{
    if (prompt == PasswordPrompt::ForAllFiles) {
        m_askedForAll = true;
        m_forAll = answer;
        m_toTry = answer.isEmpty() ? m_known : withFirst(answer, m_known);
        return answer.isEmpty() ? QStringList() : m_toTry;
    }
    if (answer.isEmpty())
        return {};
    m_typed.append(answer);
    return withFirst(answer, m_known);
}

QStringList PasswordRules::everyPassword() const
{
    QStringList passwords = toTry();
    for (const QString &password : m_typed) {
        if (!passwords.contains(password))
            passwords.append(password);
    }
    return passwords;
}

} // namespace pelmora
