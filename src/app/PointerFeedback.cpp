#include "app/PointerFeedback.h"

#include "app/BusyState.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QWidget>

namespace pelmora {

namespace {

const char kRule[] = "pelmoraPointerRule";
enum Rule
{
    Hand = 1,
    Normal = 2
};

std::optional<QPoint> pointerPosition(QEvent *event)
{
    if (event->type() == QEvent::MouseMove)
        return static_cast<QMouseEvent *>(event)->position().toPoint();
    if (event->type() == QEvent::Enter)
        return static_cast<QEnterEvent *>(event)->position().toPoint();
    return std::nullopt;
}

} // namespace

PointerFeedback::PointerFeedback(QWidget &window, const BusyState &busy, QObject *parent)
    : QObject(parent), m_window(window), m_busy(busy)
{
}

void PointerFeedback::addHandArea(QWidget &widget)
{
    widget.setProperty(kRule, Hand);
    widget.setMouseTracking(true);
    widget.installEventFilter(this);
}

void PointerFeedback::addNormalArea(QWidget &widget)
{
    widget.setProperty(kRule, Normal);
    widget.setMouseTracking(true);
    widget.installEventFilter(this);
}

void PointerFeedback::handAreaRule()
{
    if (m_busy.isBusy())
        return;
    if (m_hand)
        m_window.setCursor(*m_hand);
    else
        m_window.unsetCursor();
}

void PointerFeedback::normalAreaRule()
{
    if (m_busy.isBusy())
        return;
    m_window.unsetCursor();
}

bool PointerFeedback::eventFilter(QObject *watched, QEvent *event)
{
    const std::optional<QPoint> position = pointerPosition(event);
    if (!position || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    switch (widget->property(kRule).toInt()) {
    case Hand:
        handAreaRule();
        break;
    case Normal:
        // A move that reached a frame or the window from a control inside it.
        if (!widget->childAt(*position))
            normalAreaRule();
        break;
    default:
        break;
    }
    return false;
}

} // namespace pelmora
