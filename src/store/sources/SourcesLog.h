#pragma once

#include <QLoggingCategory>

namespace pivra {

// What the store finds of its sources: each access pass and the end of each
// indexing run, at info level, off unless asked for with
// QT_LOGGING_RULES="pivra.sources.info=true" (for whoever watches the program
// from outside, as the black-box test does).
Q_DECLARE_LOGGING_CATEGORY(sourcesLog)

} // namespace pivra
