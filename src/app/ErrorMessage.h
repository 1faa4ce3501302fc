#pragma once

#include "app/Modal.h"
#include "core/ErrorSink.h"

namespace pelmora {

// Error reports as a warning message box.
class ErrorMessage : public ErrorSink
{
public:
    explicit ErrorMessage(Modal &modal) : m_modal(modal) {}
    void reportError(const QString &title, const QString &text) override
    {
        m_modal.showMessage(title, text, Modal::Icon::Warning);
    }

private:
    Modal &m_modal;
};

} // namespace pelmora
