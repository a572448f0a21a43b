#pragma once

#include <QByteArray>
#include <QString>

namespace pivra {

// Keeps the part of a stored source list that could not be read in a file of
// its own, "Unreadable sources/<time>.json" beside the catalog, so that the
// user's data is not lost and the settings, read at every start, do not
// carry it (it may be huge). Answers the file written, or an empty string
// when it could not be written.
QString keepSourcesAside(const QByteArray& unreadable);

// The folder those files are written to.
QString unreadableSourcesFolder();

} // namespace pivra
