#include "catalog/CatalogError.h"

namespace pivra {

const char* CatalogError::what() const noexcept
{
    switch (kind_) {
    case Kind::open:
        return "catalog: the database could not be opened";
    case Kind::prepare:
        return "catalog: a statement could not be prepared";
    case Kind::step:
        return "catalog: a statement did not complete";
    }
    return "catalog: failure";
}

} // namespace pivra
