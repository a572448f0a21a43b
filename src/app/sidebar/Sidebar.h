#pragma once

#include "catalog/model/LibrarySource.h"

#include <QSet>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QLabel;
class QMenu;
class QVBoxLayout;

namespace pivra {

class AlertPresenter;
class FolderTree;
class LibraryStore;
class SidebarRow;

// The library window's leading column: the wordmark, the library rows, the
// sources grouped by disk and device (each with its folder tree while
// expanded), the rows that add sources, the update button while an update
// is under way, the background-work lines and the preferences row.
// Everything shown follows the store; what is expanded is kept here for the
// life of the window.
//
// The rows are rebuilt only when something that shapes them changes (the
// sources, the devices to add, what is expanded and the folders shown);
// selection, status dots and the progress lines are brought up to date in
// place, since thumbnail progress alone is published several times a second.
class Sidebar final : public QWidget {
    Q_OBJECT

public:
    static constexpr int columnWidth = 225;

    Sidebar(LibraryStore& store, AlertPresenter& alerts, QWidget* parent = nullptr);
    ~Sidebar() override;

    // Full screen drops the room the wordmark keeps for title-bar buttons.
    void setFullscreen(bool fullscreen);

    const QSet<QUuid>& expandedSources() const { return expandedSources_; }
    const QSet<QString>& expandedFolders() const { return expandedFolders_; }
    // Shows or hides a source's folder tree, or opens or closes a folder's
    // branch (by its expansion key).
    void toggleSource(const QUuid& id);
    void toggleFolder(const QString& key);

    // The menu of a source's row, as a right click shows it.
    std::unique_ptr<QMenu> sourceMenu(const LibrarySource& source);

Q_SIGNALS:
    // The preferences row asks for the General tab.
    void preferencesRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    QString signature() const;
    void rebuild();
    void addHeading(const QString& title, int spaceAbove);
    SidebarRow* addRow(SidebarRow* row, std::function<bool()> selectedWhen = {});
    void addSourceRow(const LibrarySource& source);
    void addFolderRows(const LibrarySource& source, const FolderTree& tree, const QString& parent, int depth);
    void updateStatusLines();
    void applyColours();

    LibraryStore& store_;
    AlertPresenter& alerts_;
    QSet<QUuid> expandedSources_;
    QSet<QString> expandedFolders_;

    QLabel* wordmark_;
    QWidget* rows_;
    QVBoxLayout* rowsLayout_;
    QWidget* indexingLine_;
    QLabel* indexingText_;
    QWidget* thumbnailLine_;
    QLabel* thumbnailText_;
    QLabel* credit_;

    QString signature_;
    // Rows whose highlight follows the selection, and source rows whose dot
    // follows their status.
    std::vector<std::pair<SidebarRow*, std::function<bool()>>> selectable_;
    std::vector<std::pair<SidebarRow*, QUuid>> sourceRows_;
};

} // namespace pivra
