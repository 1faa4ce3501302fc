#pragma once

#include <QString>

#include <optional>

namespace pelmora {

// What the progress bar shows while one conversion is waited for. A conversion is
// polled every 100 ms; `counter` is the number of polls so far (1 at the first).

// True from the 50th poll on: the wait is long enough to show.
bool IsLongWait(int counter);

// From the 50th poll on: the caller's caption, ", " when it is not empty,
// "Please wait.. " and the polls beyond 50.
std::optional<QString> WaitCaption(const QString &progressText, int counter);

// Every 150 polls from the 50th on, the bar creeps one step from the caller's value
// towards a cap; `fileCount` is 0 for the preview.
std::optional<int> CreepValue(int counter, int fileCount, int progressValue);

// The caption once the wait is over.
QString RestingCaption(const QString &progressText);

} // namespace pelmora
