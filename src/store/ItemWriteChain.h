#pragma once

#include "platform/runtime/Task.h"
#include "platform/runtime/TaskHandle.h"

#include <QHash>
#include <QObject>
#include <QString>

namespace pivra {

// Background writes of one kind (a favourite mark, a rotation) that run one
// after another per item, in the order they were asked for, while writes of
// different items run side by side. So the catalog always ends with the
// user's last choice, however slow each write is. An item has an entry from
// its first pending write until its newest one has ended; an older write that
// ends meanwhile leaves the entry to the newer one.
class ItemWriteChain {
public:
    // Starts `write` once the item's pending write has ended. `write` handles
    // its own failure; the chain only orders. Nothing of it runs before the
    // caller's turn ends, and it never runs once `context` is gone.
    void append(QObject* context, const QString& itemID, Task<> write);

    // Items with a write still pending.
    qsizetype size() const { return entries_.size(); }

private:
    struct Entry {
        TaskHandle newest;
        int number = 0;
    };

    Task<> run(QString itemID, int number, TaskHandle previous, Task<> write);

    QHash<QString, Entry> entries_;
};

} // namespace pivra
