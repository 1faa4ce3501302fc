#include "convert/WaitProgress.h"

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr int kQuietPolls = 50;
constexpr int kCreepEvery = 150;

// Halves go to the even neighbour (2.5 -> 2, 0.5 -> 0).
int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

bool IsLongWait(int counter)
{
    return counter >= kQuietPolls;
}

std::optional<QString> WaitCaption(const QString &progressText, int counter)
{
    if (!IsLongWait(counter))
        return std::nullopt;
    QString caption = progressText;
    if (!progressText.isEmpty())
        caption += u", "_s;
    return caption + u"Please wait.. "_s + QString::number(counter - kQuietPolls);
}

std::optional<int> CreepValue(int counter, int fileCount, int progressValue)
{
    if (!IsLongWait(counter) || (counter - kQuietPolls) % kCreepEvery != 0)
        return std::nullopt;
    const int n = (counter - kQuietPolls) / kCreepEvery;
    int step = 0;
    int cap = 0;
    if (fileCount > 0) {
        step = roundHalfEven(100.0 / fileCount / 10.0);
        cap = roundHalfEven(100.0 / fileCount + progressValue - step);
    } else {
        step = roundHalfEven((100.0 - progressValue) / 10.0);
        cap = 100 - step;
    }
    const int value = n * step + progressValue;
    return value >= cap ? cap : value;
}

QString RestingCaption(const QString &progressText)
{
    return progressText.isEmpty() ? u"Progress Bar"_s : progressText;
}

} // namespace pelmora
