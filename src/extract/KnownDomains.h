#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QMutex>
#include <QString>

struct psl_ctx_st;

namespace pelmora {

// The top-level domains of the Public Suffix List (its ICANN section), as the
// distribution keeps the list current (Debian's publicsuffix, read through libpsl).
class KnownDomains
{
public:
    // The system's list, loaded once per process on first use; safe from any thread.
    static const KnownDomains &system();

    // The newest of `listFile` and the list built into libpsl. When `listFile` cannot
    // be read, the built-in list, or none at all, takes its place, and problem() says so.
    explicit KnownDomains(const QString &listFile);
    ~KnownDomains();
    KnownDomains(const KnownDomains &) = delete;
    KnownDomains &operator=(const KnownDomains &) = delete;

    // Whether `label` is a top-level domain, in letters or punycode ("xn--p1ai"), in
    // any letter case. With no list at all every label of two or more letters is one.
    // Answers are kept, so each label costs one lookup in the list.
    bool isTopLevel(QByteArrayView label) const;

    // Empty when `listFile` was read; otherwise what is used instead, in words for the user.
    const QString &problem() const { return m_problem; }
    // Which list this is: libpsl's version, the file's name, size and time, and the
    // built-in list's digest; another list gives another text.
    const QString &identity() const { return m_identity; }

private:
    bool lookUp(const QByteArray &label) const;

    psl_ctx_st *m_list = nullptr;
    QString m_problem;
    QString m_identity;
    mutable QMutex m_mutex;
    mutable QHash<QByteArray, bool> m_answers;
};

} // namespace pelmora
