#include "app/BusyState.h"

#include <QCursor>
#include <QGuiApplication>

namespace pelmora {

BusyState::Hold::Hold(BusyState &state) : m_state(&state)
{
    state.change(+1);
}

BusyState::Hold::~Hold()
{
    if (m_state)
        m_state->change(-1);
}

BusyState::~BusyState()
{
    if (m_holds > 0)
        QGuiApplication::restoreOverrideCursor();
}

void BusyState::change(int by)
{
    const bool was = isBusy();
    m_holds += by;
    if (!was && isBusy())
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else if (was && !isBusy())
        QGuiApplication::restoreOverrideCursor();
}

} // namespace pelmora
