#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace pelmora {

// The lists the command reads from files: passwords, inputs and domain patterns. Each is
// read in pieces and capped, so that a list that never ends (/dev/zero, a FIFO) stops with
// a message instead of taking all memory. Every reader throws AppError, in the user's words.

// The most a password list holds: every candidate goes to the worker with each file, and a
// protected file must be tried with all of them within the time limit of its opening (a
// hundred thousand RC4 candidates take some seconds).
constexpr qsizetype kMostPasswords = 100000;
// The most a --files-from list names.
constexpr qsizetype kMostListedInputs = 10000000;
// The most patterns one "@FILE" holds.
constexpr qsizetype kMostPatterns = 1000000;

// A password given as bytes: UTF-8 when it is valid UTF-8, else Latin-1 (the bytes a
// terminal or file of that encoding gives for "café"), so the worker tries what was meant.
QString PasswordFromBytes(QByteArrayView bytes);

// The passwords of a password file, one per line, without line ends; empty lines are
// left out.
QStringList ReadPasswordFile(const QString &path);

// The inputs of a --files-from list (path "-": standard input): one per line, or ended
// by NUL with `nullSeparated`; empty entries are left out. Names keep their bytes.
QStringList ReadInputList(const QString &path, bool nullSeparated);

// A domain pattern as given, or with "@FILE" the patterns of FILE: one a line, empty
// lines and lines starting with "#" left out.
QStringList ReadDomainPatterns(const QString &value);

} // namespace pelmora
