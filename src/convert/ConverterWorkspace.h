#pragma once

#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace pelmora {

// The converter program the workspace runs.
struct ConverterProgram
{
    QString name;        // its name on PATH
    QString installed;   // where it is installed; empty: found on PATH by its name
    QString missingHint; // what to do when it is not there, in the user's words
};

// The converter to run, and the program's private corner of the temporary folder: a
// folder of this process's own for converted texts that go through files. It lives as
// long as the window or the command that runs conversions.
class ConverterWorkspace
{
public:
    // `tempRoot` is the user's temporary folder (QDir::tempPath(), which honours TMPDIR).
    ConverterWorkspace(const QString &tempRoot, ConverterProgram program);
    ~ConverterWorkspace();
    ConverterWorkspace(const ConverterWorkspace &) = delete;
    ConverterWorkspace &operator=(const ConverterWorkspace &) = delete;

    // "<temp>/pelmora-<uid>", made 0700. When something else holds that name (a folder
    // or link another user planted on a shared /tmp, or one others may write to), the
    // workspace moves to "$XDG_RUNTIME_DIR/pelmora" or to a fresh folder of its own
    // instead: no one else reads the texts, and the user is not stopped from working.
    QString privateFolder() const { return m_privateFolder; }
    // The converter as installed, once EnsureConverter found it; empty before.
    QString ConverterPath() const { return m_converter; }

    // Makes the private folder and this process's work folder. Throws AppError when no
    // private folder can be made at all; conversions then do nothing.
    void prepare();
    bool isUsable() const { return m_workFolder != nullptr; }

    // Makes the private folder and finds the installed converter. It is run from where
    // it is installed, never through a link others could remove or replace. Throws
    // AppError when the converter is not installed.
    void EnsureConverter();

    // A fresh path in the work folder for one conversion's text; nothing is created.
    // Empty when the workspace is not usable.
    QString newOutputPath();
    // The folder that holds this process's converted texts; empty when not usable.
    QString workFolder() const;

private:
    QString installedProgram() const;
    void removeStaleWorkFolders() const;

    ConverterProgram m_program;
    QString m_tempRoot;
    QString m_privateFolder;
    QString m_converter;
    // A folder made just for this process, when the usual ones could not be had.
    std::unique_ptr<QTemporaryDir> m_ownFolder;
    std::unique_ptr<QTemporaryDir> m_workFolder;
    std::atomic<quint64> m_nextOutput{0};
};

} // namespace pelmora
