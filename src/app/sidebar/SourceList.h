#pragma once

#include "app/sidebar/SourceStatus.h"
#include "catalog/model/LibrarySource.h"
#include "store/LibraryStore.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QVBoxLayout;

namespace pivra {

class FolderRow;
class FolderTree;
class SidebarRow;

// The sources part of the sidebar: a section per disk and one for devices,
// each a heading over the rows of its sources, a source followed by its
// folder tree while it is expanded; then the row that adds a folder and a
// row for each connected device not yet added.
//
// Every row is kept by what it stands for: a section's heading by its group
// key, a source by its id, a folder by its expansion key, a device by its id.
// A change makes only the rows it brings, deletes at once those it ends and
// moves the rest only where their order changed, so a library of thousands
// of folders is built once and then kept up to date in place. Headings and
// rows share one list, so sources that change disk (one mounted elsewhere)
// only move in it. Making a row costs tens of microseconds with its showing
// and laying out, so one pass makes a few milliseconds' worth of rows only
// (rowsPerPass), from the top down, and asks for another pass to go on
// (moreRowsWanted).
class SourceList final : public QWidget {
    Q_OBJECT

public:
    // The most rows one pass makes.
    static constexpr int rowsPerPass = 150;

    explicit SourceList(QWidget* parent = nullptr);

    // What decides which rows exist and what they say.
    struct Shape {
        const QList<LibrarySource>& sources;
        const IndexedFolders& folders;
        const QList<AvailableCameraDevice>& camerasToAdd;
        const QSet<QUuid>& expandedSources;
        const QSet<QString>& expandedFolders; // by expansion key
        const QSet<QUuid>& partlyWatched;     // sources whose changes show only at a rescan
    };
    void reshape(const Shape& shape);
    // Whether every folder tree shown was built from the list `folders`
    // holds for its source now.
    bool showsFolders(const IndexedFolders& folders) const;

    void showStatuses(const QList<LibrarySource>& sources, const QSet<QUuid>& scanning,
                      const ThumbnailStatuses& thumbnails);
    // The source's row is selected while no folder of it is.
    void showSelection(const std::optional<QUuid>& source, const std::optional<QString>& folder);

    // The most rows any pass has made so far, for tests.
    int mostRowsInOnePass() const { return mostRowsInOnePass_; }

Q_SIGNALS:
    void sourceClicked(const QUuid& id);
    void sourceMenuRequested(const QUuid& id, const QPoint& globalPosition);
    void folderClicked(const QUuid& sourceID, const QString& path);
    void folderToggled(const QString& key);
    void addFolderClicked();
    void addCameraClicked(const QString& deviceID);
    // Posted when a reshape left rows to make: the next reshape goes on.
    void moreRowsWanted();

private:
    // A section's heading with the space around it.
    struct Section {
        QWidget* box;
        QLabel* heading;
    };
    struct Folder {
        FolderRow* row = nullptr;
        QUuid sourceID;
        QString path;
        int depth = 0;
        bool branches = false; // whether it has subfolders, and so a chevron
    };
    // One source's folder tree being laid out.
    struct TreeWalk {
        const Shape& shape;
        const QUuid& sourceID;
        const FolderTree& tree;
    };

    // Whether this reshape may still make a row: always its first.
    bool mayMakeRow();

    Section makeSection();
    SidebarRow* sourceRow(const LibrarySource& source, bool partlyWatched);
    // Appends the rows of the folders under `parent` to `rows`, and of
    // their subfolders where open, taking the rows kept from folderRows_.
    void addFolderRows(const TreeWalk& walk, const QString& parent, int depth, QList<QWidget*>& rows,
                       QHash<QString, Folder>& kept);
    void reshapeDevices(const QList<AvailableCameraDevice>& cameras);

    QWidget* rowsBox_;
    QVBoxLayout* rowsLayout_;
    QWidget* devicesBox_;
    QVBoxLayout* devicesLayout_;
    QHash<QString, Section> sections_;
    QHash<QUuid, SidebarRow*> sourceRows_;
    QHash<QString, Folder> folderRows_;
    // The folder list each expanded source's tree was built from.
    QHash<QUuid, QStringList> shownFolders_;
    QHash<QString, SidebarRow*> deviceRows_;
    int rowsMade_ = 0;
    int mostRowsInOnePass_ = 0;
    bool rowsLeft_ = false;
    bool morePosted_ = false;
};

} // namespace pivra
