#include "app/sidebar/Sidebar.h"

#include "app/content/FileReveal.h"
#include "app/sidebar/FolderRow.h"
#include "app/sidebar/FolderTree.h"
#include "app/sidebar/SidebarGroups.h"
#include "app/sidebar/SourceRemoval.h"
#include "app/sidebar/UpdateSidebarButton.h"
#include "settings/PreferencesRouter.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "store/LibraryStore.h"

#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollArea>
#include <QVBoxLayout>

namespace pivra {

namespace {

const char* const secondaryOpacity = "pivraSecondaryOpacity";

QLabel* secondaryLabel(const QString& text, const QFont& font, double opacity, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setProperty(secondaryOpacity, opacity);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A line of background work: a small busy bar and its text, with the space
// that follows it, all gone while the work is not running.
QWidget* statusLine(QLabel*& text, int spaceBelow, QWidget* parent)
{
    auto* line = new QWidget(parent);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(18, 0, 18, spaceBelow);
    layout->setSpacing(8);
    auto* busy = new QProgressBar(line);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setFixedSize(16, 6);
    layout->addWidget(busy, 0, Qt::AlignVCenter);
    text = secondaryLabel({}, PivraFonts::font(11), 0.5, line);
    layout->addWidget(text, 1, Qt::AlignVCenter);
    line->hide();
    return line;
}

// A click on a line of background work asks for the Processes tab, where
// that work is listed with its Stop.
class ProcessesLink final : public QObject {
public:
    explicit ProcessesLink(QWidget* line)
        : QObject(line)
    {
        line->setCursor(Qt::PointingHandCursor);
        line->setToolTip(QStringLiteral("Show Processes"));
        line->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            PreferencesRouter::shared().setRequest(PreferencesRouter::Pane::processes);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

SidebarRow::Look rowLook(QFont::Weight weight = QFont::Normal)
{
    SidebarRow::Look look;
    look.weight = weight;
    return look;
}

SidebarRow::Look sourceLook()
{
    SidebarRow::Look look;
    look.symbolFrame = 17;
    look.spacing = 7;
    return look;
}

SidebarRow::Look deviceLook()
{
    SidebarRow::Look look;
    look.weight = QFont::Medium;
    look.outerInset = 22;
    look.leading = 0;
    look.trailing = 0;
    look.verticalPadding = 2;
    look.hoverBackground = false;
    return look;
}

} // namespace

Sidebar::Sidebar(LibraryStore& store, AlertPresenter& alerts, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , alerts_(alerts)
{
    setFixedWidth(columnWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    wordmark_ = new QLabel(QStringLiteral("pivra"), this);
    wordmark_->setFont(PivraFonts::displayFont(22, QFont::DemiBold));
    wordmark_->setFixedHeight(52);
    column->addWidget(wordmark_);
    column->addSpacing(12);
    setFullscreen(false);

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    rows_ = new QWidget(scroll);
    rows_->setAutoFillBackground(false);
    rowsLayout_ = new QVBoxLayout(rows_);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(0);
    scroll->setWidget(rows_);
    column->addWidget(scroll, 1);

    auto* update = new UpdateSidebarButton(UpdateController::shared(), this);
    connect(update, &UpdateSidebarButton::updateSettingsRequested, this,
            [] { PreferencesRouter::shared().setRequest(PreferencesRouter::Pane::general); });
    column->addWidget(update);

    indexingLine_ = statusLine(indexingText_, 16, this);
    column->addWidget(indexingLine_);
    thumbnailLine_ = statusLine(thumbnailText_, 13, this);
    column->addWidget(thumbnailLine_);
    new ProcessesLink(indexingLine_);
    new ProcessesLink(thumbnailLine_);

    auto* preferences = new SidebarRow(QStringLiteral("Preferences"), QStringLiteral("gearshape"),
                                       rowLook(QFont::Medium), this);
    connect(preferences, &QAbstractButton::clicked, this, &Sidebar::preferencesRequested);
    column->addWidget(preferences);
    column->addSpacing(8);

    credit_ = secondaryLabel(QStringLiteral("Your originals stay where they are."), PivraFonts::font(10), 0.35,
                             this);
    credit_->setContentsMargins(22, 0, 22, 16);
    column->addWidget(credit_);

    for (const auto changed :
         {&LibraryStore::sourcesChanged, &LibraryStore::availableCamerasChanged, &LibraryStore::indexedFoldersChanged,
          &LibraryStore::selectedSourceIDChanged, &LibraryStore::selectedFolderPathChanged,
          &LibraryStore::showsFavoritesChanged, &LibraryStore::showsAlbumsChanged, &LibraryStore::showsMapChanged,
          &LibraryStore::selectedAlbumIDChanged, &LibraryStore::scanningSourceIDsChanged,
          &LibraryStore::thumbnailStatusesChanged, &LibraryStore::isScanningChanged,
          &LibraryStore::scannedCountChanged, &LibraryStore::isPreparingThumbnailsChanged,
          &LibraryStore::thumbnailCompletedChanged, &LibraryStore::thumbnailTotalChanged}) {
        connect(&store_, changed, this, &Sidebar::refresh);
    }
    applyColours();
    refresh();
}

Sidebar::~Sidebar() = default;

// The wordmark keeps its own inset, plus, in a window, the room a title bar
// drawn inside the content would need for its buttons.
void Sidebar::setFullscreen(bool fullscreen)
{
    constexpr int wordmarkInset = 22;
    wordmark_->setContentsMargins(wordmarkInset + (fullscreen ? 0 : qRound(PivraAppearance::titleBarInset)), 0, 0, 0);
}

void Sidebar::toggleSource(const QUuid& id)
{
    if (!expandedSources_.remove(id)) {
        expandedSources_.insert(id);
    }
    refresh();
}

void Sidebar::toggleFolder(const QString& key)
{
    if (!expandedFolders_.remove(key)) {
        expandedFolders_.insert(key);
    }
    refresh();
}

void Sidebar::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyColours();
    }
}

void Sidebar::applyColours()
{
    for (QLabel* label : findChildren<QLabel*>()) {
        const QVariant opacity = label->property(secondaryOpacity);
        if (opacity.isValid()) {
            QPalette colours = label->palette();
            colours.setColor(QPalette::WindowText, PivraAppearance::primary(palette(), opacity.toDouble()));
            label->setPalette(colours);
        }
    }
}

// Everything that decides which rows exist and what they say, but not which
// is selected nor the colour of a dot.
QString Sidebar::signature() const
{
    QStringList parts;
    for (const LibrarySource& source : store_.sources()) {
        parts << source.id.toString() << source.name << source.lastKnownPath << QString::number(source.isOnline)
              << rawValue(source.kind) << source.deviceID.value_or(QString()) << source.volumePath.value_or(QString())
              << source.volumeName.value_or(QString())
              << QString::number(source.volumeCapacity.value_or(-1));
        if (expandedSources_.contains(source.id)) {
            parts << QStringLiteral("expanded") << store_.indexedFolders().value(source.id);
        }
    }
    for (const AvailableCameraDevice& camera : camerasToAdd(store_.availableCameras(), store_.sources())) {
        parts << camera.id << camera.name;
    }
    QStringList open(expandedFolders_.begin(), expandedFolders_.end());
    open.sort();
    parts << open;
    return parts.join(QChar(0x1f));
}

void Sidebar::refresh()
{
    QString next = signature();
    if (next != signature_ || selectable_.empty()) {
        signature_ = std::move(next);
        rebuild();
    }
    for (const auto& [row, selectedWhen] : selectable_) {
        row->setSelected(selectedWhen());
    }
    for (const auto& [row, id] : sourceRows_) {
        for (const LibrarySource& source : store_.sources()) {
            if (source.id == id) {
                row->setStatus(sourceStatus(source, store_.scanningSourceIDs(), store_.thumbnailStatuses()));
            }
        }
    }
    updateStatusLines();
}

void Sidebar::updateStatusLines()
{
    indexingLine_->setVisible(store_.isScanning());
    indexingText_->setText(QStringLiteral("Indexing %1 files").arg(store_.scannedCount()));
    thumbnailLine_->setVisible(store_.isPreparingThumbnails());
    thumbnailText_->setText(
        QStringLiteral("Thumbnails %1/%2").arg(store_.thumbnailCompleted()).arg(store_.thumbnailTotal()));
}

// A row may be the one whose click or menu led here, so the old rows go
// once the event that reached them is over.
void Sidebar::rebuild()
{
    selectable_.clear();
    sourceRows_.clear();
    while (QLayoutItem* item = rowsLayout_->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }

    addHeading(QStringLiteral("LIBRARY"), 0);
    struct LibraryEntry {
        const char* title;
        const char* symbol;
        LibraryRow row;
        void (LibraryStore::*select)();
    };
    const LibraryEntry entries[] = {
        {"All media", "photo.on.rectangle", LibraryRow::allMedia, nullptr},
        {"Favorites", "heart.fill", LibraryRow::favorites, &LibraryStore::selectFavorites},
        {"Albums", "rectangle.stack.fill", LibraryRow::albums, &LibraryStore::selectAlbums},
        {"Map", "map.fill", LibraryRow::map, &LibraryStore::selectMap},
    };
    for (const LibraryEntry& entry : entries) {
        SidebarRow* row = addRow(new SidebarRow(QString::fromUtf8(entry.title), QString::fromUtf8(entry.symbol),
                                                rowLook(), rows_),
                                 [this, which = entry.row] {
                                     LibraryView view;
                                     view.sourceID = store_.selectedSourceID();
                                     view.favorites = store_.showsFavorites();
                                     view.albums = store_.showsAlbums();
                                     view.map = store_.showsMap();
                                     view.albumID = store_.selectedAlbumID();
                                     return isHighlighted(which, view);
                                 });
        connect(row, &QAbstractButton::clicked, this, [this, select = entry.select] {
            if (select) {
                (store_.*select)();
            } else {
                store_.selectSource(std::nullopt);
            }
        });
    }

    const QList<LibrarySource>& sources = store_.sources();
    for (const QString& key : sourceGroupKeys(sources)) {
        addHeading(sourceGroupTitle(key, sources), 22);
        for (const LibrarySource& source : sources) {
            if (sourceGroupKey(source) != key) {
                continue;
            }
            addSourceRow(source);
            if (expandedSources_.contains(source.id)) {
                addFolderRows(source, FolderTree(store_.indexedFolders().value(source.id)), {}, 0);
            }
        }
    }

    rowsLayout_->addSpacing(8);
    SidebarRow* add = addRow(new SidebarRow(QStringLiteral("Add a folder or disk"), QStringLiteral("plus"),
                                            rowLook(QFont::Medium), rows_));
    connect(add, &QAbstractButton::clicked, this, [this] { store_.addFolders(); });
    for (const AvailableCameraDevice& camera : camerasToAdd(store_.availableCameras(), sources)) {
        rowsLayout_->addSpacing(10);
        SidebarRow* device = addRow(
            new SidebarRow(QStringLiteral("Add ") + camera.name, QStringLiteral("iphone"), deviceLook(), rows_));
        connect(device, &QAbstractButton::clicked, this, [this, id = camera.id] { store_.addCamera(id); });
    }
    rowsLayout_->addStretch(1);
    applyColours();
}

void Sidebar::addHeading(const QString& title, int spaceAbove)
{
    QFont font = PivraFonts::font(10, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    // Contents margins set on a label added to the shown list did not
    // survive its first showing, so the space around the heading is the
    // list's and the indentation the label's own.
    QLabel* heading = secondaryLabel(title, font, 0.5, rows_);
    heading->setIndent(22);
    rowsLayout_->addSpacing(spaceAbove);
    rowsLayout_->addWidget(heading);
    rowsLayout_->addSpacing(10);
}

SidebarRow* Sidebar::addRow(SidebarRow* row, std::function<bool()> selectedWhen)
{
    rowsLayout_->addWidget(row);
    if (selectedWhen) {
        selectable_.emplace_back(row, std::move(selectedWhen));
    }
    return row;
}

void Sidebar::addSourceRow(const LibrarySource& source)
{
    const bool camera = source.kind == LibrarySource::Kind::camera;
    SidebarRow* row = addRow(
        new SidebarRow(source.name, camera ? QStringLiteral("iphone") : QStringLiteral("folder.fill"), sourceLook(),
                       rows_),
        [this, id = source.id] { return store_.selectedSourceID() == id && !store_.selectedFolderPath(); });
    sourceRows_.emplace_back(row, source.id);
    row->setToolTip(source.isOnline ? source.lastKnownPath : QStringLiteral("Source unavailable"));
    connect(row, &QAbstractButton::clicked, this, [this, id = source.id] { store_.selectSource(id); });
    row->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(row, &QWidget::customContextMenuRequested, this, [this, row, source](const QPoint& at) {
        QMenu* menu = sourceMenu(source).release();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(row->mapToGlobal(at));
    });
}

void Sidebar::addFolderRows(const LibrarySource& source, const FolderTree& tree, const QString& parent, int depth)
{
    for (const QString& path : tree.children(parent)) {
        const QString key = FolderTree::expansionKey(source.id, path);
        const bool open = expandedFolders_.contains(key);
        auto* row = new FolderRow(FolderTree::name(path), depth,
                                  tree.hasChildren(path) ? std::optional<bool>(open) : std::nullopt, rows_);
        addRow(row, [this, id = source.id, path] {
            return store_.selectedSourceID() == id && store_.selectedFolderPath() == path;
        });
        connect(row, &QAbstractButton::clicked, this,
                [this, id = source.id, path] { store_.selectFolder(id, path); });
        if (row->chevron()) {
            connect(row->chevron(), &QAbstractButton::clicked, this, [this, key] { toggleFolder(key); });
        }
        if (open) {
            addFolderRows(source, tree, path, depth + 1);
        }
    }
}

std::unique_ptr<QMenu> Sidebar::sourceMenu(const LibrarySource& source)
{
    auto menu = std::make_unique<QMenu>(this);
    if (source.kind == LibrarySource::Kind::folder) {
        if (!store_.indexedFolders().value(source.id).isEmpty()) {
            menu->addAction(expandedSources_.contains(source.id) ? QStringLiteral("Hide indexed folders")
                                                                  : QStringLiteral("Show indexed folders"),
                            this, [this, id = source.id] { toggleSource(id); });
        }
        QAction* reveal = menu->addAction(QStringLiteral("Show in File Manager"), this,
                                          [this, path = source.lastKnownPath] { openFolder(path, toMessage(store_)); });
        reveal->setEnabled(source.isOnline);
        menu->addAction(QStringLiteral("Reconnect Folder…"), this,
                        [this, id = source.id] { store_.reconnectSource(id); });
    }
    menu->addAction(QStringLiteral("Create Desktop Shortcut…"), this,
                    [this, source] { store_.createShortcut(source); });
    menu->addAction(QStringLiteral("Remove Source"), this,
                    [this, source] { startTask(this, confirmRemoval(&store_, &alerts_, source)); });
    return menu;
}

} // namespace pivra
