#include "store/sources/SourcesLog.h"

namespace pivra {

Q_LOGGING_CATEGORY(sourcesLog, "pivra.sources", QtWarningMsg)

} // namespace pivra
