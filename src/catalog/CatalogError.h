#pragma once

#include <exception>

namespace pivra {

// The catalog's only failure type. It carries no text on purpose: callers turn
// a failure into one sentence of their own, and the kind tells them which step
// of the database work went wrong.
class CatalogError : public std::exception {
public:
    enum class Kind {
        open,    // the database file could not be opened (or its folder created)
        prepare, // a statement could not be prepared
        step,    // a statement, transaction command or set-up statement did not complete
    };

    explicit CatalogError(Kind kind) noexcept : kind_(kind) {}

    Kind kind() const noexcept { return kind_; }
    const char* what() const noexcept override;

    bool operator==(const CatalogError& other) const noexcept { return kind_ == other.kind_; }

private:
    Kind kind_;
};

} // namespace pivra
