#pragma once

#include <QLoggingCategory>

namespace pelmora {

// pelmora.run: what a run decides (prompts, stops). Off unless asked for, e.g.
// QT_LOGGING_RULES="pelmora.*=true".
Q_DECLARE_LOGGING_CATEGORY(lcRun)

} // namespace pelmora
