#pragma once

#include <QString>

namespace pelmora {

// The converter program the workspace runs.
struct ConverterProgram
{
    QString name;        // its name on PATH
    QString installed;   // where it is installed; empty: found on PATH by its name
    QString missingHint; // what to do when it is not there, in the user's words
};

// Where the converter the window or the command runs is installed. Its text comes back
// through a pipe, so the program keeps no folder of converted texts.
class ConverterWorkspace
{
public:
    explicit ConverterWorkspace(ConverterProgram program);

    // The converter as installed, once ensureConverter found it; empty before.
    QString converterPath() const { return m_converter; }

    // Finds the installed converter. It is run from where it is installed, never through
    // a link others could remove or replace. Throws AppError when it is not installed.
    void ensureConverter();

private:
    ConverterProgram m_program;
    QString m_converter;
};

} // namespace pelmora
