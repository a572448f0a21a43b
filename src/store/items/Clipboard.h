#pragma once

#include <QStringList>

namespace pivra {

// The system clipboard: the window's, a recording fake in tests.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Replaces the clipboard's content with these local files, so that a
    // file manager or another program pastes the files themselves.
    virtual void putFiles(const QStringList& paths) = 0;
};

} // namespace pivra
