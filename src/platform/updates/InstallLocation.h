#pragma once

#include <QString>

namespace pivra {

// How the running program was installed, which decides whether it may
// update itself.
enum class InstallKind {
    selfUpdating,  // a folder of its own, marked and writable: replaced whole by an update
    systemPackage, // a folder the user cannot write: the system's package manager updates it
    buildTree,     // anything else, such as a build folder
};

struct InstallLocation {
    InstallKind kind = InstallKind::buildTree;
    // The folder an update replaces: the program's folder's parent.
    QString root;
};

// The file whose presence marks a folder the program may replace.
inline const QString installMarkerName = QStringLiteral(".pivra-install");

// Where the program whose executable lies in `programFolder` is installed.
// Reads the disk; call it once at start-up.
InstallLocation locateInstall(const QString& programFolder);

} // namespace pivra
