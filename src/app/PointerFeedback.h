#pragma once

#include <QCursor>
#include <QObject>

#include <optional>

class QWidget;

namespace pelmora {

class BusyState;

// The window's pointer: the hand over the buttons, the default pointer over the
// background, the frames and the lists. While the program is busy, neither rule
// changes anything. Controls that are neither keep what the last rule left.
class PointerFeedback : public QObject
{
    Q_OBJECT
public:
    PointerFeedback(QWidget &window, const BusyState &busy, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(PointerFeedback)

    // None: the buttons get no hand.
    void setHandPointer(const std::optional<QCursor> &hand) { m_hand = hand; }

    void addHandArea(QWidget &widget);
    // Widgets whose own surface is a normal area; moves over their children do not count.
    void addNormalArea(QWidget &widget);

    void handAreaRule();
    void normalAreaRule();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    const BusyState &m_busy;
    std::optional<QCursor> m_hand;
};

} // namespace pelmora
