#include "core/AppError.h"

namespace pelmora {

AppError::AppError(const QString &description)
    : std::runtime_error(description.toStdString()), m_description(description)
{
}

} // namespace pelmora
