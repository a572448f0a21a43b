#pragma once

#include "catalog/model/LibrarySource.h"
#include "platform/runtime/Task.h"
#include "store/LibraryStore.h"

#include <QLocale>
#include <QString>

namespace pivra {

class AlertPresenter;

// The question before a source goes: "Delete thumbnails along with “name”?"
QString removalQuestion(const QString& sourceName);
// What would be freed and what removing means: "1,234 thumbnails and 1
// video preview · 5 MB", then the reassurance that originals stay.
QString removalDetails(const RemovalFootprint& footprint, const QLocale& locale = QLocale());

// Measures what removing `source` would free; with nothing, removes it at
// once; otherwise asks, and "Yes" deletes the thumbnails and clips along
// with it, "No" keeps them, and "Cancel" (or closing the question) keeps the
// source. `source` is the copy taken when the user asked.
Task<> confirmRemoval(LibraryStore* store, AlertPresenter* alerts, LibrarySource source);

} // namespace pivra
