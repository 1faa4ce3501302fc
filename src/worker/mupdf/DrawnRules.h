#pragma once

// The thin horizontal rules drawn on a page, indexed by position, for telling an
// underscore drawn as a rule (TeX's `\_`: the text holds a space there) from an underline.

#include <cstddef>
#include <vector>

namespace pelmora::worker {

struct RuleBox
{
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0; // y grows downwards, as on MuPDF's pages
};

class DrawnRules
{
public:
    // Keeps a rule thinner than 2 points and wider than half a point; anything else is
    // no stroke of a letter or a line. Past `kMost` rules a page is a drawing, and the rest
    // are not kept.
    void add(const RuleBox &box);
    // Sorts what was added; add() after it needs index() again.
    void index();
    std::size_t size() const { return m_byStart.size(); }

    // Whether the gap from `left` to `right` between two letters of `size` on `baseline`
    // holds an underscore: a rule at the baseline, no longer than the gap, that continues
    // no rule under the letters beside it (an underline drawn word by word, as LaTeX's ulem
    // and soul draw it, has a piece under each space too).
    bool underscoreInGap(float left, float right, float baseline, float size) const;

    static constexpr std::size_t kMost = std::size_t{1} << 20;

private:
    struct Entry
    {
        long row; // the middle's whole point, for looking up a baseline's rules
        float x0, y0, x1, y1;
        float middle() const { return (y0 + y1) / 2; }
    };
    bool continuesAnUnderline(const Entry &rule, float left, float right, float slack) const;

    std::vector<Entry> m_byStart; // by row, then left end
    std::vector<Entry> m_byEnd;   // by row, then right end
};

} // namespace pelmora::worker
