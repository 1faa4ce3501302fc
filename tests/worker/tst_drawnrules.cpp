// The drawn rules of a page: which gap between two letters holds an underscore, and the
// index by position giving the same answers as a look at every rule.
#include "worker/mupdf/DrawnRules.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using pelmora::worker::DrawnRules;
using pelmora::worker::RuleBox;

Q_DECLARE_METATYPE(QList<RuleBox>)

namespace {

// A rule along the baseline y, 0.4 points thick.
RuleBox rule(float x0, float x1, float y = 100.2f)
{
    return {x0, y - 0.2f, x1, y + 0.2f};
}

DrawnRules indexed(const QList<RuleBox> &rules)
{
    DrawnRules drawn;
    for (const RuleBox &box : rules)
        drawn.add(box);
    drawn.index();
    return drawn;
}

// The rule the index answers by, looking at every rule.
bool underscoreByLooking(const QList<RuleBox> &rules, float left, float right, float baseline, float size)
{
    const float slack = 0.15f * size;
    const auto middle = [](const RuleBox &r) { return (r.y0 + r.y1) / 2; };
    const auto kept = [](const RuleBox &r) { return r.y1 - r.y0 < 2.0f && r.x1 - r.x0 > 0.5f; };
    for (const RuleBox &r : rules) {
        if (!kept(r) || r.x0 < left - slack || r.x1 > right + slack ||
            std::min(r.x1, right) - std::max(r.x0, left) < 0.5f * (right - left) ||
            std::fabs(middle(r) - baseline) > 0.3f * size || r.y1 - r.y0 > 0.15f * size)
            continue;
        const float along = std::max(r.y1 - r.y0, 0.5f);
        const bool continued = std::any_of(rules.begin(), rules.end(), [&](const RuleBox &o) {
            return kept(o) && std::fabs(middle(o) - middle(r)) <= along &&
                   ((o.x1 >= r.x0 - slack && o.x1 <= r.x0 + slack && o.x0 < left - slack) ||
                    (o.x0 >= r.x1 - slack && o.x0 <= r.x1 + slack && o.x1 > right + slack));
        });
        if (!continued)
            return true;
    }
    return false;
}

} // namespace

class TestDrawnRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void underscoreInGap_data();
    void underscoreInGap();
    void indexAgreesWithLookingAtEveryRule();
};

void TestDrawnRules::underscoreInGap_data()
{
    // The gap runs from 50 to 53 between letters of 10 points on the baseline 100.
    QTest::addColumn<QList<RuleBox>>("rules");
    QTest::addColumn<bool>("underscore");
    QTest::newRow("none") << QList<RuleBox>{} << false;
    QTest::newRow("TeX's \\_ in the gap") << QList<RuleBox>{rule(50.2f, 52.8f)} << true;
    QTest::newRow("two rules in the gap") << QList<RuleBox>{rule(50, 51.5f), rule(51.5f, 53)} << true;
    QTest::newRow("one underline under both words") << QList<RuleBox>{rule(20, 90)} << false;
    QTest::newRow("underlined word by word (ulem)")
        << QList<RuleBox>{rule(20, 50), rule(50, 53), rule(53, 90)} << false;
    QTest::newRow("the word before underlined") << QList<RuleBox>{rule(20, 50), rule(50, 53)} << false;
    QTest::newRow("the word after underlined") << QList<RuleBox>{rule(50, 53), rule(53.3f, 90)} << false;
    QTest::newRow("an underline on the next line")
        << QList<RuleBox>{rule(20, 50, 112), rule(50.2f, 52.8f), rule(53, 90, 112)} << true;
    QTest::newRow("a rule far below the baseline") << QList<RuleBox>{rule(50.2f, 52.8f, 105)} << false;
    QTest::newRow("a bar too thick for a rule") << QList<RuleBox>{{50.2f, 99, 52.8f, 101.5f}} << false;
    // Thousands of strokes elsewhere on the page (a chart) hide no rule drawn after them.
    QList<RuleBox> chart;
    for (int i = 0; i < 5000; ++i)
        chart.append(rule(float(20 + i % 100 * 5), float(23 + i % 100 * 5), float(300 + i / 100 * 4)));
    QTest::newRow("after a chart of 5,000 strokes") << (chart << rule(50.2f, 52.8f)) << true;
}

void TestDrawnRules::underscoreInGap()
{
    QFETCH(QList<RuleBox>, rules);
    QFETCH(bool, underscore);
    QCOMPARE(indexed(rules).underscoreInGap(50, 53, 100, 10), underscore);
}

void TestDrawnRules::indexAgreesWithLookingAtEveryRule()
{
    QRandomGenerator random(11);
    const auto between = [&](double low, double high) { return float(low + random.bounded(high - low)); };
    QList<RuleBox> rules;
    for (int i = 0; i < 3000; ++i) {
        const float x = between(0, 200), y = between(0, 60), height = between(0.1, 2.5);
        rules.append({x, y, x + between(0.2, 30), y + height});
    }
    const DrawnRules drawn = indexed(rules);
    int found = 0;
    for (int i = 0; i < 3000; ++i) {
        const float left = between(0, 200), size = between(2, 14);
        const float right = left + between(0.5, 6), baseline = between(0, 60);
        const bool expected = underscoreByLooking(rules, left, right, baseline, size);
        QCOMPARE(drawn.underscoreInGap(left, right, baseline, size), expected);
        found += expected ? 1 : 0;
    }
    QVERIFY2(found > 50, qPrintable(QString::number(found))); // the draw met both answers
}

QTEST_GUILESS_MAIN(TestDrawnRules)
#include "tst_drawnrules.moc"
