#pragma once

#include <QString>

namespace pivra::test {

// The build folder's renders/, where widget tests save what they drew so
// anyone can open and compare it; made on first use.
QString rendersFolder();

} // namespace pivra::test
