#pragma once

#include <QString>

#include <stdexcept>

namespace pelmora {

// An expected kind of failure with words meant for the user.
class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &description);
    QString description() const { return m_description; }

private:
    QString m_description;
};

} // namespace pelmora
