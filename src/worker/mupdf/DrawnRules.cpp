#include "worker/mupdf/DrawnRules.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace pelmora::worker {

namespace {

long rowOf(float y)
{
    return static_cast<long>(std::floor(y));
}

// The first of `rules` (sorted by row, then by `end`) in `row` whose `end` is at `from` or past it.
template <typename Entry>
typename std::vector<Entry>::const_iterator firstFrom(const std::vector<Entry> &rules, long row, float from,
                                                      float Entry::*end)
{
    return std::lower_bound(rules.begin(), rules.end(), std::make_pair(row, from),
                            [end](const Entry &e, const std::pair<long, float> &key) {
                                return std::tie(e.row, e.*end) < std::tie(key.first, key.second);
                            });
}

} // namespace

void DrawnRules::add(const RuleBox &box)
{
    const float height = box.y1 - box.y0, width = box.x1 - box.x0;
    if (!(height < 2.0f && width > 0.5f) || !std::isfinite(box.y0 + box.y1) || m_byStart.size() >= kMost)
        return;
    m_byStart.push_back({rowOf((box.y0 + box.y1) / 2), box.x0, box.y0, box.x1, box.y1});
}

void DrawnRules::index()
{
    const auto whole = [](const Entry &e) { return std::tie(e.row, e.x0, e.x1, e.y0, e.y1); };
    std::sort(m_byStart.begin(), m_byStart.end(),
              [&](const Entry &a, const Entry &b) { return whole(a) < whole(b); });
    // A rule drawn many times over (a faked bold) is one rule.
    m_byStart.erase(std::unique(m_byStart.begin(), m_byStart.end(),
                                [&](const Entry &a, const Entry &b) { return whole(a) == whole(b); }),
                    m_byStart.end());
    m_byEnd = m_byStart;
    std::sort(m_byEnd.begin(), m_byEnd.end(),
              [](const Entry &a, const Entry &b) { return std::tie(a.row, a.x1) < std::tie(b.row, b.x1); });
}

bool DrawnRules::underscoreInGap(float left, float right, float baseline, float size) const
{
    const float slack = 0.15f * size, reach = 0.3f * size;
    for (long row = rowOf(baseline - reach), last = rowOf(baseline + reach); row <= last; ++row) {
        for (auto rule = firstFrom(m_byStart, row, left - slack, &Entry::x0);
             rule != m_byStart.end() && rule->row == row && rule->x0 <= right + slack; ++rule) {
            if (rule->x1 <= right + slack &&
                std::min(rule->x1, right) - std::max(rule->x0, left) >= 0.5f * (right - left) &&
                std::fabs(rule->middle() - baseline) <= reach && rule->y1 - rule->y0 <= 0.15f * size &&
                !continuesAnUnderline(*rule, left, right, slack))
                return true;
        }
    }
    return false;
}

// A rule on the gap's rule's line that meets one of its ends and runs on under the letter
// beside it.
bool DrawnRules::continuesAnUnderline(const Entry &rule, float left, float right, float slack) const
{
    const float along = std::max(rule.y1 - rule.y0, 0.5f);
    const auto sameLine = [&](const Entry &other) {
        return std::fabs(other.middle() - rule.middle()) <= along;
    };
    for (long row = rowOf(rule.middle() - along), last = rowOf(rule.middle() + along); row <= last; ++row) {
        for (auto before = firstFrom(m_byEnd, row, rule.x0 - slack, &Entry::x1);
             before != m_byEnd.end() && before->row == row && before->x1 <= rule.x0 + slack; ++before) {
            if (before->x0 < left - slack && sameLine(*before))
                return true;
        }
        for (auto after = firstFrom(m_byStart, row, rule.x1 - slack, &Entry::x0);
             after != m_byStart.end() && after->row == row && after->x0 <= rule.x1 + slack; ++after) {
            if (after->x1 > right + slack && sameLine(*after))
                return true;
        }
    }
    return false;
}

} // namespace pelmora::worker
