#pragma once

#include <QString>

#include <optional>

namespace pivra {

// How the running program was installed, which decides whether it may
// update itself.
enum class InstallKind {
    selfUpdating,  // a folder of its own, marked and writable: an update adds a version and switches to it
    systemPackage, // a folder the user cannot write: the system's package manager updates it
    buildTree,     // anything else, such as a build folder
};

struct InstallLocation {
    InstallKind kind = InstallKind::buildTree;
    // The install folder: the marked folder an update installs into.
    QString root;
};

// The file whose presence marks a folder the program may update. Each
// version's own folder carries it too, as the archive of a release does.
inline const QString installMarkerName = QStringLiteral(".pivra-install");

// An install folder that updates itself keeps each version in a folder of
// its own and starts the one in use through one link, its entry:
//
//   <root>/.pivra-install
//   <root>/bin/pivra -> ../versions/2.0/bin/pivra
//   <root>/versions/2.0/      .pivra-install, bin/, resources/
//
// An update puts the new version beside the old one, then replaces the link
// by a rename, which no filesystem leaves half done: at every moment the
// entry starts a whole version. An install made before versions were kept
// apart has one version's files in the install folder itself, with its
// program at the entry; its first update turns it into the layout above.
inline const QString installEntry = QStringLiteral("bin/pivra");
inline const QString versionsFolderName = QStringLiteral("versions");

// What the entry of the install folder `root` is.
struct InstallEntry {
    enum class Kind {
        version, // a link to the program of the version folder `version`, which is there
        program, // the program itself: an install from before versions were kept apart
        unknown, // missing, or anything else; nothing is inferred from it
    };
    Kind kind = Kind::unknown;
    QString version; // the name of its folder under versions/
};

// Reads the entry of `root` without following it further than its own
// link. Reads the disk.
InstallEntry installEntryOf(const QString& root);

// The text of the entry's link to the version folder `version`.
QString entryLinkTo(const QString& version);

// Where the program whose executable lies in `programFolder` is installed.
// Reads the disk; call it once at start-up.
InstallLocation locateInstall(const QString& programFolder);

} // namespace pivra
