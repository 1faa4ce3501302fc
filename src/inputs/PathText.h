#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <optional>

namespace pelmora {

// Normalises a path built from a folder and a name. With "\" as separator, every "\\"
// becomes "\" in one pass (three in a row become two), and a leading run of any
// length becomes exactly two, so network-share paths keep their prefix. With "/",
// every run of "/" becomes one: POSIX paths have no share prefix.
QString CollapseBackslashes(const QString &path, QChar separator = QDir::separator());

// The open-file dialog's result as the classic multiple-selection dialog hands it over:
// one full path for one file; otherwise the folder, then each name, NUL separated.
// Full paths from different folders are given relative to their common folder, so the
// rows built from the text still name the chosen files.
QString DialogResultText(const QStringList &chosenPaths);

// The longest result text the dialog may hand over, separators included.
constexpr qsizetype kDialogResultLimit = 30000;

// The rows to append for a dialog result text: one part is appended as it is, several
// become folder + separator + name, each through CollapseBackslashes.
QStringList RowsFromDialogResult(const QString &resultText, QChar separator = QDir::separator());

// The rows for the paths a dialog returned; nullopt when the selection is too large
// for the dialog's result text.
std::optional<QStringList> RowsForChosenFiles(const QStringList &chosenPaths,
                                              QChar separator = QDir::separator());

} // namespace pelmora
