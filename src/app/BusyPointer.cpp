#include "app/BusyPointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace pelmora {

BusyPointer::BusyPointer()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyPointer::~BusyPointer()
{
    QGuiApplication::restoreOverrideCursor();
}

NormalPointerForDialog::NormalPointerForDialog()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
}

NormalPointerForDialog::~NormalPointerForDialog()
{
    QGuiApplication::restoreOverrideCursor();
}

bool BusyPointer::isBusy()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor;
}

} // namespace pelmora
