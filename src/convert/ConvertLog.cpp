#include "convert/ConvertLog.h"

namespace pelmora {

Q_LOGGING_CATEGORY(lcConvert, "pelmora.convert", QtWarningMsg)
Q_LOGGING_CATEGORY(lcWorker, "pelmora.worker", QtWarningMsg)

} // namespace pelmora
