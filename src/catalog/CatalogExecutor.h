#pragma once

#include "catalog/MediaCatalog.h"
#include "platform/runtime/threads/SerialExecutor.h"

namespace pivra {

// The catalog actor: the catalog's connection lives on the executor's own
// thread, made there by the factory, and every call reaches it in turn.
//
//   CatalogExecutor catalog([] { return std::make_unique<MediaCatalog>(); });
//   const auto count = co_await catalog.call([scope](MediaCatalog& c) { return c.galleryCount(scope); });
//
// A catalog that fails to open makes every later call throw that CatalogError.
using CatalogExecutor = SerialExecutor<MediaCatalog>;

} // namespace pivra
