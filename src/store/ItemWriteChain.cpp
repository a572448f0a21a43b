#include "store/ItemWriteChain.h"

namespace pivra {

void ItemWriteChain::append(QObject* context, const QString& itemID, Task<> write)
{
    Entry& entry = entries_[itemID];
    const TaskHandle previous = entry.newest;
    const int number = ++entry.number;
    // The task's first step is posted, so its handle is in place before it
    // runs and can end.
    entry.newest = startTask(context, run(itemID, number, previous, std::move(write)));
}

Task<> ItemWriteChain::run(QString itemID, int number, TaskHandle previous, Task<> write)
{
    co_await previous;
    co_await write;
    const auto entry = entries_.constFind(itemID);
    if (entry != entries_.cend() && entry->number == number) {
        entries_.erase(entry);
    }
}

} // namespace pivra
