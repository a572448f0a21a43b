#pragma once

#include <QSettings>
#include <QString>

namespace pivra {

// The program's preferences: Qt's native format, on Linux an INI file,
// Pivra/Pivra.conf in the user's configuration folder. Opened afresh where a value is needed, so a value
// written by another instance, or in an earlier run, is read as it now is.
// Any thread.
class AppSettings : public QSettings {
public:
    AppSettings();

    // A Boolean setting. An INI file keeps no types, so a stored Boolean
    // comes back as the text "true" or "false"; both count as the Boolean.
    // `fallback` when the key is absent or holds anything else.
    bool flag(const QString& key, bool fallback) const;
};

} // namespace pivra
