#include "extract/KnownDomains.h"

#include <QDateTime>
#include <QFileInfo>

#include <libpsl.h>

#include <algorithm>
#include <iterator>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

bool isLetters(QByteArrayView label)
{
    for (const char c : label) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    return label.size() >= 2;
}

} // namespace

const KnownDomains &KnownDomains::system()
{
    static const KnownDomains list(QString::fromLocal8Bit(psl_dist_filename()));
    return list;
}

KnownDomains::KnownDomains(const QString &listFile)
{
    // libpsl takes the newer of the file and its built-in list: both are named.
    const QFileInfo file(listFile);
    m_identity = u"libpsl "_s + QString::fromLatin1(psl_get_version()) + u", "_s + listFile + u' ' +
                 QString::number(file.size()) + u' ' +
                 QString::number(file.lastModified().toMSecsSinceEpoch()) + u", built in "_s +
                 QString::fromLatin1(psl_builtin_sha1sum());
    const QString missing = u"The list of known top-level domains, "_s + listFile + u", cannot be read"_s;
    const QString install = u"Install the Debian package publicsuffix to bring it up to date."_s;
    if (QFileInfo(listFile).isReadable()) {
        m_list = psl_latest(QFile::encodeName(listFile).constData());
        if (m_list)
            return;
    } else if (const psl_ctx_t *builtIn = psl_builtin()) {
        m_list = const_cast<psl_ctx_t *>(builtIn); // psl_free() leaves the built-in list alone
        const QDateTime made = QDateTime::fromSecsSinceEpoch(psl_builtin_file_time(), Qt::UTC);
        m_problem = missing + u"; the list built into libpsl (of "_s + made.toString(u"yyyy-MM-dd"_s) +
                    u") is used instead. "_s + install;
        return;
    }
    // Losing every address to a missing file would be worse than keeping a few wrong ones.
    m_problem =
        missing + u" and libpsl has none built in, so addresses of every domain are kept. "_s + install;
}

KnownDomains::~KnownDomains()
{
    psl_free(m_list);
}

bool KnownDomains::isTopLevel(QByteArrayView label) const
{
    if (!m_list)
        return isLetters(label);
    // Addresses arrive in lower case already: then the lookup copies nothing.
    const bool lower = std::none_of(label.begin(), label.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    const QByteArray key =
        lower ? QByteArray::fromRawData(label.data(), label.size()) : label.toByteArray().toLower();
    const QMutexLocker lock(&m_mutex);
    const auto known = m_answers.constFind(key);
    if (known != m_answers.cend())
        return *known;
    const QByteArray kept(key.constData(), key.size()); // owns its bytes
    return m_answers.insert(kept, lookUp(kept)).value();
}

bool KnownDomains::lookUp(const QByteArray &label) const
{
    // Without the "*" rule an unlisted name is no suffix; a name with a dot is no label.
    if (label.contains('.'))
        return false;
    const auto listed = [this](const QByteArray &name) {
        return psl_is_public_suffix2(m_list, name.constData(), PSL_TYPE_ICANN | PSL_TYPE_NO_STAR_RULE) == 1;
    };
    // Some registries are listed only by the names under them (ac.za, co.za, ... but no
    // za): one of the usual second levels listed under a label makes it a domain of the list.
    static constexpr const char *kUsualSecondLevels[] = {"ac", "co", "com", "edu", "gov", "net", "org"};
    return listed(label) || std::any_of(std::begin(kUsualSecondLevels), std::end(kUsualSecondLevels),
                                        [&](const char *second) { return listed(second + ('.' + label)); });
}

} // namespace pelmora
