#include "run/RunLog.h"

namespace pelmora {

Q_LOGGING_CATEGORY(lcRun, "pelmora.run", QtWarningMsg)

} // namespace pelmora
