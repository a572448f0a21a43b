#include "app/sidebar/SourceList.h"

#include "app/sidebar/FolderRow.h"
#include "app/sidebar/FolderTree.h"
#include "app/sidebar/SidebarGroups.h"
#include "app/sidebar/SidebarLabels.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace pivra {

namespace {


constexpr SidebarRow::Look sourceLook{.symbolFrame = 17, .spacing = 7};
constexpr SidebarRow::Look deviceLook{.weight = QFont::Medium,
                                      .outerInset = 22,
                                      .leading = 0,
                                      .trailing = 0,
                                      .verticalPadding = 2,
                                      .hoverBackground = false};

// Makes the widgets of `layout` exactly `wanted`, in order, moving only
// those out of place. A widget made for this change is in no layout yet and
// is not looked for, since each look walks the whole list. Showing a widget
// lays out its parent's whole list at once, so the list waits while the new
// ones are shown and is laid out once after.
void placeInOrder(QVBoxLayout* layout, const QList<QWidget*>& wanted)
{
    layout->setEnabled(false);
    for (int index = 0; index < wanted.size(); ++index) {
        QWidget* widget = wanted[index];
        const QLayoutItem* present = layout->itemAt(index);
        if (present != nullptr && present->widget() == widget) {
            continue;
        }
        const bool made = !widget->testAttribute(Qt::WA_LaidOut);
        if (!made) {
            layout->removeWidget(widget);
        }
        layout->insertWidget(index, widget);
        if (made) {
            widget->show();
        }
    }
    while (QLayoutItem* left = layout->takeAt(int(wanted.size()))) {
        delete left;
    }
    layout->setEnabled(true);
}

} // namespace

SourceList::SourceList(QWidget* parent)
    : QWidget(parent)
    , rowsBox_(new QWidget(this))
    , rowsLayout_(new QVBoxLayout(rowsBox_))
    , devicesBox_(new QWidget(this))
    , devicesLayout_(new QVBoxLayout(devicesBox_))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(0);
    column->addWidget(rowsBox_);

    column->addSpacing(8);
    auto* add = new SidebarRow(QStringLiteral("Add a folder or disk"), QStringLiteral("plus"),
                               SidebarRow::Look{.weight = QFont::Medium}, this);
    connect(add, &QAbstractButton::clicked, this, &SourceList::addFolderClicked);
    column->addWidget(add);

    devicesLayout_->setContentsMargins(0, 10, 0, 0);
    devicesLayout_->setSpacing(10);
    column->addWidget(devicesBox_);
    devicesBox_->hide();
}

void SourceList::reshape(const Shape& shape)
{
    rowsMade_ = 0;
    rowsLeft_ = false;
    QSet<QUuid> present;
    present.reserve(shape.sources.size());
    QHash<QString, QList<const LibrarySource*>> groups;
    for (const LibrarySource& source : shape.sources) {
        present.insert(source.id);
        groups[sourceGroupKey(source)].append(&source);
    }
    for (auto row = sourceRows_.begin(); row != sourceRows_.end();) {
        if (present.contains(row.key())) {
            ++row;
        } else {
            delete row.value();
            row = sourceRows_.erase(row);
        }
    }

    const QStringList keys = sourceGroupKeys(shape.sources);
    for (auto section = sections_.begin(); section != sections_.end();) {
        if (keys.contains(section.key())) {
            ++section;
        } else {
            delete section->box;
            section = sections_.erase(section);
        }
    }

    // Every heading and row in order; folder rows still shown move over to
    // `kept`, and those left behind are no longer shown.
    QHash<QString, Folder> kept;
    shownFolders_.clear();
    QList<QWidget*> rows;
    for (const QString& key : keys) {
        if (!sections_.contains(key)) {
            sections_.insert(key, makeSection());
        }
        const Section& section = sections_[key];
        const QString title = sourceGroupTitle(key, shape.sources);
        if (section.heading->text() != title) {
            section.heading->setText(title);
        }
        rows.append(section.box);
        for (const LibrarySource* source : std::as_const(groups[key])) {
            SidebarRow* row = sourceRow(*source, shape.partlyWatched.contains(source->id));
            if (row == nullptr) {
                continue;
            }
            rows.append(row);
            if (shape.expandedSources.contains(source->id)) {
                const QStringList folders = shape.folders.value(source->id);
                shownFolders_.insert(source->id, folders);
                addFolderRows({shape, source->id, FolderTree(folders)}, {}, 0, rows, kept);
            }
        }
    }
    for (const Folder& gone : std::as_const(folderRows_)) {
        delete gone.row;
    }
    folderRows_ = std::move(kept);
    placeInOrder(rowsLayout_, rows);
    reshapeDevices(shape.camerasToAdd);
    if (rowsLeft_ && !morePosted_) {
        morePosted_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                morePosted_ = false;
                Q_EMIT moreRowsWanted();
            },
            Qt::QueuedConnection);
    }
}

bool SourceList::mayMakeRow()
{
    if (rowsMade_ >= rowsPerPass) {
        rowsLeft_ = true;
        return false;
    }
    mostRowsInOnePass_ = std::max(mostRowsInOnePass_, ++rowsMade_);
    return true;
}

// Contents margins set on a label added to the shown list did not survive
// its first showing, so the space around the heading is its box's and the
// indentation the label's own.
SourceList::Section SourceList::makeSection()
{
    auto* box = new QWidget(rowsBox_);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 22, 0, 10);
    layout->setSpacing(0);
    QLabel* heading = sidebarHeading({}, box);
    tintSecondary(heading, palette());
    layout->addWidget(heading);
    return {box, heading};
}

SidebarRow* SourceList::sourceRow(const LibrarySource& source, bool partlyWatched)
{
    const auto found = sourceRows_.constFind(source.id);
    SidebarRow* row = found == sourceRows_.cend() ? nullptr : *found;
    if (row == nullptr) {
        if (!mayMakeRow()) {
            return nullptr;
        }
        row = new SidebarRow(source.name,
                             source.kind == LibrarySource::Kind::camera ? QStringLiteral("iphone")
                                                                        : QStringLiteral("folder.fill"),
                             sourceLook, rowsBox_);
        connect(row, &QAbstractButton::clicked, this, [this, id = source.id] { Q_EMIT sourceClicked(id); });
        row->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(row, &QWidget::customContextMenuRequested, this, [this, row, id = source.id](const QPoint& at) {
            Q_EMIT sourceMenuRequested(id, row->mapToGlobal(at));
        });
        sourceRows_.insert(source.id, row);
    } else if (row->text() != source.name) {
        row->setText(source.name);
    }
    QString tip = source.isOnline ? source.lastKnownPath : QStringLiteral("Source unavailable");
    if (partlyWatched) {
        tip += QStringLiteral("\nChanges in some of its folders show at the next rescan.");
    }
    if (row->toolTip() != tip) {
        row->setToolTip(tip);
    }
    return row;
}

void SourceList::addFolderRows(const TreeWalk& walk, const QString& parent, int depth, QList<QWidget*>& rows,
                               QHash<QString, Folder>& kept)
{
    const QUuid& sourceID = walk.sourceID;
    for (const QString& path : walk.tree.children(parent)) {
        const QString key = FolderTree::expansionKey(sourceID, path);
        const bool open = walk.shape.expandedFolders.contains(key);
        const bool branches = walk.tree.hasChildren(path);
        Folder folder = folderRows_.take(key);
        if (folder.row != nullptr && (folder.depth != depth || folder.branches != branches)) {
            delete folder.row;
            folder.row = nullptr;
        }
        if (folder.row == nullptr) {
            if (!mayMakeRow()) {
                continue;
            }
            folder = {new FolderRow(FolderTree::name(path), depth,
                                    branches ? std::optional<bool>(open) : std::nullopt, rowsBox_),
                      sourceID, path, depth, branches};
            connect(folder.row, &QAbstractButton::clicked, this,
                    [this, sourceID, path] { Q_EMIT folderClicked(sourceID, path); });
            if (folder.row->chevron() != nullptr) {
                connect(folder.row->chevron(), &QAbstractButton::clicked, this,
                        [this, key] { Q_EMIT folderToggled(key); });
            }
        } else if (branches) {
            folder.row->setOpen(open);
        }
        rows.append(folder.row);
        kept.insert(key, folder);
        if (open) {
            addFolderRows(walk, path, depth + 1, rows, kept);
        }
    }
}

// A device row's click adds its device, which ends the row: the store is
// told once the click is over, never while the row is still handling it.
void SourceList::reshapeDevices(const QList<AvailableCameraDevice>& cameras)
{
    QHash<QString, SidebarRow*> kept;
    QList<QWidget*> rows;
    for (const AvailableCameraDevice& camera : cameras) {
        SidebarRow* row = deviceRows_.take(camera.id);
        if (row == nullptr) {
            row = new SidebarRow(QStringLiteral("Add ") + camera.name, QStringLiteral("iphone"), deviceLook,
                                 devicesBox_);
            connect(
                row, &QAbstractButton::clicked, this, [this, id = camera.id] { Q_EMIT addCameraClicked(id); },
                Qt::QueuedConnection);
        } else if (row->text() != QStringLiteral("Add ") + camera.name) {
            row->setText(QStringLiteral("Add ") + camera.name);
        }
        rows.append(row);
        kept.insert(camera.id, row);
    }
    qDeleteAll(deviceRows_);
    deviceRows_ = std::move(kept);
    placeInOrder(devicesLayout_, rows);
    devicesBox_->setVisible(!rows.isEmpty());
}

bool SourceList::showsFolders(const IndexedFolders& folders) const
{
    for (auto shown = shownFolders_.cbegin(); shown != shownFolders_.cend(); ++shown) {
        if (folders.value(shown.key()) != shown.value()) {
            return false;
        }
    }
    return true;
}

void SourceList::showStatuses(const QList<LibrarySource>& sources, const QSet<QUuid>& scanning,
                              const ThumbnailStatuses& thumbnails)
{
    bool changed = false;
    for (const LibrarySource& source : sources) {
        if (SidebarRow* row = sourceRows_.value(source.id)) {
            changed = row->setStatus(sourceStatus(source, scanning, thumbnails)) || changed;
        }
    }
    if (changed) {
        rowsBox_->update();
    }
}

void SourceList::showSelection(const std::optional<QUuid>& source, const std::optional<QString>& folder)
{
    for (auto row = sourceRows_.cbegin(); row != sourceRows_.cend(); ++row) {
        row.value()->setSelected(source == row.key() && !folder);
    }
    for (const Folder& each : std::as_const(folderRows_)) {
        each.row->setSelected(source == each.sourceID && folder == each.path);
    }
}

} // namespace pivra
