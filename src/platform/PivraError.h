#pragma once

#include <QString>

namespace pivra {

// An error handed across a boundary that only passes it on or shows it: the
// device layer, the camera reads and exports. Readers compare the domain and
// code; the description is the one sentence a person sees.
struct PivraError {
    QString domain;
    int code = 0;
    QString description;

    bool operator==(const PivraError&) const = default;
};

// The generic "could not write the file" error, with the number other tools
// know it by.
inline constexpr int fileWriteUnknownErrorCode = 512;

inline PivraError fileWriteUnknownError()
{
    return {QStringLiteral("Pivra.File"), fileWriteUnknownErrorCode,
            QStringLiteral("The file could not be saved.")};
}

} // namespace pivra
