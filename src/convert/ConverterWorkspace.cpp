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

const auto kConverterName = u"pdftotext"_s;
const auto kWorkPrefix = u"work-"_s;

// Refuses a folder that another user could have planted or could change later.
void checkPrivateFolder(const QString &folder)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        throw AppError(u"The temporary folder "_s + folder + u" cannot be created: "_s +
                       QString::fromLocal8Bit(strerror(errno)));
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw AppError(u"The temporary folder "_s + folder +
                       u" is not a folder. Pelmora will convert nothing until it is removed."_s);
    if (info.st_uid != ::getuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        throw AppError(u"The temporary folder "_s + folder +
                       u" belongs to another user or can be changed by others. "
                       u"Pelmora will not run a converter from there; please remove it."_s);
}

bool processIsAlive(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

ConverterWorkspace::ConverterWorkspace(const QString &tempRoot)
    : m_privateFolder(QDir(tempRoot).absoluteFilePath(u"pelmora-"_s + QString::number(::getuid())))
{
}

ConverterWorkspace::~ConverterWorkspace() = default;

QString ConverterWorkspace::ConverterPath() const
{
    return m_privateFolder + u'/' + kConverterName;
}

void ConverterWorkspace::prepare()
{
    if (isUsable())
        return;
    checkPrivateFolder(m_privateFolder);
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

bool ConverterWorkspace::EnsureConverter()
{
    prepare();
    const QString target = ConverterPath();
    if (FileExists(target))
        return false;
    const QString installed = QStandardPaths::findExecutable(kConverterName);
    if (installed.isEmpty())
        throw AppError(u"The PDF converter pdftotext was not found. Please install it with the package "
                       u"poppler-utils (sudo apt-get install poppler-utils) and start Pelmora again."_s);
    QFile::remove(target); // a dangling link left by a removed installation
    if (!QFile::link(installed, target))
        throw AppError(u"The PDF converter cannot be placed at "_s + target + u'.');
    return true;
}

void ConverterWorkspace::restoreConverter()
{
    if (!isUsable() || FileExists(ConverterPath()))
        return;
    try {
        EnsureConverter();
    } catch (const AppError &) {
        // Reported at start-up already; each conversion then finds no converter.
    }
}

void ConverterWorkspace::RemoveConverter() const
{
    DeleteFileQuietly(ConverterPath());
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
