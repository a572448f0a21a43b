#include "store/LibraryStore.h"

#include "platform/MainThread.h"

namespace pivra {

LibraryStore::LibraryStore(QObject* parent) : QObject(parent) {}

void LibraryStore::setSearchQuery(const QString& query)
{
    assertMainThread();
    searchQuery_ = query;
    Q_EMIT searchQueryChanged();
}

} // namespace pivra
