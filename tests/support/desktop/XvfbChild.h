#pragma once

#include <QString>

namespace pivra::test {

// A test that needs a real X server runs its own binary again under Xvfb,
// with only itself selected; inside, isXvfbChild() is true and the platform
// is xcb.
bool isXvfbChild();

// Runs the tests matching `filter` in a child under Xvfb: not run when
// xvfb-run is not installed (the caller skips), else the child's exit code
// (-1 when it did not finish in two minutes) and output.
struct XvfbRun {
    bool ran = false;
    int exitCode = -1;
    QString output;
};
XvfbRun runUnderXvfb(const QString& filter);

} // namespace pivra::test
