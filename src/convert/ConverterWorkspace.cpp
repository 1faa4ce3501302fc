#include "convert/ConverterWorkspace.h"

#include "core/AppError.h"
#include "core/FileHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

const auto kWorkPrefix = u"work-"_s;

// A folder of this user's that nobody else can change: made 0700 here, or found so.
// A link, a file, another user's folder or one others may write to does not count, since
// whatever lies there would be run.
bool claimPrivateFolder(const QString &folder)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info
    {
    };
    return ::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool processIsAlive(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

ConverterWorkspace::ConverterWorkspace(const QString &tempRoot, ConverterProgram program)
    : m_program(std::move(program)), m_tempRoot(QDir(tempRoot).absolutePath()),
      m_privateFolder(m_tempRoot + u"/pelmora-"_s + QString::number(::getuid()))
{
}

ConverterWorkspace::~ConverterWorkspace() = default;

void ConverterWorkspace::prepare()
{
    if (isUsable())
        return;
    if (!claimPrivateFolder(m_privateFolder)) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString perUser = runtime.isEmpty() ? QString() : runtime + u"/pelmora"_s;
        if (!perUser.isEmpty() && QDir::isAbsolutePath(perUser) && claimPrivateFolder(perUser)) {
            m_privateFolder = perUser;
        } else {
            auto own = std::make_unique<QTemporaryDir>(m_tempRoot + u"/pelmora-"_s +
                                                       QString::number(::getuid()) + u"-XXXXXX"_s);
            if (!own->isValid())
                throw AppError(u"No private folder for the converter can be made in "_s + m_tempRoot +
                               u": "_s + own->errorString() +
                               u". Please check that the folder exists and has room."_s);
            m_privateFolder = own->path();
            m_ownFolder = std::move(own);
        }
    }
    removeStaleWorkFolders();
    auto folder =
        std::make_unique<QTemporaryDir>(m_privateFolder + u'/' + kWorkPrefix +
                                        QString::number(QCoreApplication::applicationPid()) + u"-XXXXXX"_s);
    if (!folder->isValid())
        throw AppError(u"A folder for converted text cannot be made in "_s + m_privateFolder + u": "_s +
                       folder->errorString());
    m_workFolder = std::move(folder);
}

// Work folders of processes that ended abnormally would otherwise stay forever.
void ConverterWorkspace::removeStaleWorkFolders() const
{
    const QDir root(m_privateFolder);
    const auto entries =
        root.entryInfoList({kWorkPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        const QString pid = entry.fileName().mid(kWorkPrefix.size()).section(u'-', 0, 0);
        bool ok = false;
        const qint64 owner = pid.toLongLong(&ok);
        if (ok && !processIsAlive(owner) && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
    }
}

QString ConverterWorkspace::installedProgram() const
{
    if (!m_program.installed.isEmpty())
        return QFileInfo(m_program.installed).isExecutable() ? m_program.installed : QString();
    return QStandardPaths::findExecutable(m_program.name);
}

void ConverterWorkspace::EnsureConverter()
{
    prepare();
    m_converter = installedProgram();
    if (m_converter.isEmpty())
        throw AppError(m_program.missingHint);
}

QString ConverterWorkspace::newOutputPath()
{
    if (!isUsable())
        return {};
    return m_workFolder->path() + u'/' + QString::number(m_nextOutput++) + u".txt"_s;
}

QString ConverterWorkspace::workFolder() const
{
    return isUsable() ? m_workFolder->path() : QString();
}

} // namespace pelmora
