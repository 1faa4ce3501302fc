#pragma once

#include <QLoggingCategory>

namespace pelmora {

// Off unless asked for, e.g. QT_LOGGING_RULES="pelmora.*=true".
Q_DECLARE_LOGGING_CATEGORY(lcConvert) // pelmora.convert: conversions and their outcomes
Q_DECLARE_LOGGING_CATEGORY(lcWorker)  // pelmora.worker: what the workers say on standard error

} // namespace pelmora
