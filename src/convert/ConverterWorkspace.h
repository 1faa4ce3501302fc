#pragma once

#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace pelmora {

// The program's private corner of the temporary folder: the converter executable at
// ConverterPath, and a folder of this process's own for the converter's text files.
// It lives as long as the window or the command that runs conversions.
class ConverterWorkspace
{
public:
    // `tempRoot` is the user's temporary folder (QDir::tempPath(), which honours TMPDIR).
    explicit ConverterWorkspace(const QString &tempRoot);
    ~ConverterWorkspace();
    ConverterWorkspace(const ConverterWorkspace &) = delete;
    ConverterWorkspace &operator=(const ConverterWorkspace &) = delete;

    // "<temp>/pelmora-<uid>": created 0700; refused when another user owns it or
    // others may write to it, since whatever lies there would be run.
    QString privateFolder() const { return m_privateFolder; }
    QString ConverterPath() const;

    // Makes the private folder and this process's work folder. Throws AppError when
    // the private folder is refused or cannot be made; conversions then do nothing.
    void prepare();
    bool isUsable() const { return m_workFolder != nullptr; }

    // Puts the distribution's pdftotext at ConverterPath unless something is there
    // already, which is then used unchanged. Returns whether it placed one.
    // Throws AppError when none is installed.
    bool EnsureConverter();
    // Puts the converter back when it has gone, as it does when another window of the
    // same user closes; failures are silent (the conversion then writes nothing).
    void restoreConverter();
    // Removes the converter from ConverterPath; failures are silent.
    void RemoveConverter() const;

    // A fresh path in the work folder for one conversion's text; nothing is created.
    // Empty when the workspace is not usable.
    QString newOutputPath();
    // The folder that holds this process's converted texts; empty when not usable.
    QString workFolder() const;

private:
    void removeStaleWorkFolders() const;

    QString m_privateFolder;
    std::unique_ptr<QTemporaryDir> m_workFolder;
    std::atomic<quint64> m_nextOutput{0};
};

} // namespace pelmora
