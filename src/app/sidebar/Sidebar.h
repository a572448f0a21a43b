#pragma once

#include "catalog/model/LibrarySource.h"

#include <QSet>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QMenu;

namespace pivra {

class AlertPresenter;
class LibraryStore;
class SidebarRow;
class SourceList;

// The library window's leading column: the wordmark, the library rows, the
// sources grouped by disk and device (each with its folder tree while
// expanded), the rows that add sources, the update button while an update
// is under way, the background-work lines and the preferences row.
// Everything shown follows the store; what is expanded is kept here for the
// life of the window.
//
// Each publication of the store touches only what it can change: the
// sources, the devices to add and what is expanded reshape the source list,
// which keeps its rows by what they stand for; a new folder list does so
// only where a tree shows it; the selection and the status dots are set in
// place, and progress, published several times a second, reaches only the
// status lines.
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
    void reshape();
    void showSelection();
    void showStatuses();
    void updateStatusLines();
    void applyColours();

    LibraryStore& store_;
    AlertPresenter& alerts_;
    QSet<QUuid> expandedSources_;
    QSet<QString> expandedFolders_;

    QLabel* wordmark_;
    std::array<SidebarRow*, 4> libraryRows_{};
    SourceList* sourceList_;
    QWidget* indexingLine_;
    QLabel* indexingText_;
    QWidget* thumbnailLine_;
    QLabel* thumbnailText_;
    QLabel* credit_;
};

} // namespace pivra
