#pragma once

#include "store/items/Clipboard.h"

namespace pivra {

// The desktop's clipboard: the files as a URI list, and the same as copied
// files for file managers that paste only those.
class QtClipboard : public Clipboard {
public:
    void putFiles(const QStringList& paths) override;
};

} // namespace pivra
