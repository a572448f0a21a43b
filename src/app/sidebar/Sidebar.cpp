#include "app/sidebar/Sidebar.h"

#include "app/content/FileReveal.h"
#include "app/sidebar/SidebarGroups.h"
#include "app/sidebar/SidebarLabels.h"
#include "app/sidebar/SidebarRow.h"
#include "app/sidebar/SourceList.h"
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

#include <algorithm>

namespace pivra {

namespace {

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

struct LibraryEntry {
    const char* title;
    const char* symbol;
    LibraryRow row;
    void (LibraryStore::*select)(); // none: all media
};

const LibraryEntry libraryEntries[] = {
    {"All media", "photo.on.rectangle", LibraryRow::allMedia, nullptr},
    {"Favorites", "heart.fill", LibraryRow::favorites, &LibraryStore::selectFavorites},
    {"Albums", "rectangle.stack.fill", LibraryRow::albums, &LibraryStore::selectAlbums},
    {"Map", "map.fill", LibraryRow::map, &LibraryStore::selectMap},
};

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
    auto* rows = new QWidget(scroll);
    rows->setAutoFillBackground(false);
    auto* rowsLayout = new QVBoxLayout(rows);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(0);
    rowsLayout->addWidget(sidebarHeading(QStringLiteral("LIBRARY"), rows));
    rowsLayout->addSpacing(10);
    for (std::size_t index = 0; index < libraryRows_.size(); ++index) {
        const LibraryEntry& entry = libraryEntries[index];
        libraryRows_[index] = new SidebarRow(QString::fromUtf8(entry.title), QString::fromUtf8(entry.symbol), {}, rows);
        connect(libraryRows_[index], &QAbstractButton::clicked, this, [this, select = entry.select] {
            if (select) {
                (store_.*select)();
            } else {
                store_.selectSource(std::nullopt);
            }
        });
        rowsLayout->addWidget(libraryRows_[index]);
    }
    sourceList_ = new SourceList(rows);
    rowsLayout->addWidget(sourceList_);
    rowsLayout->addStretch(1);
    scroll->setWidget(rows);
    column->addWidget(scroll, 1);

    connect(sourceList_, &SourceList::sourceClicked, this, [this](const QUuid& id) { store_.selectSource(id); });
    connect(sourceList_, &SourceList::folderClicked, this,
            [this](const QUuid& id, const QString& path) { store_.selectFolder(id, path); });
    connect(sourceList_, &SourceList::folderToggled, this, &Sidebar::toggleFolder);
    connect(sourceList_, &SourceList::moreRowsWanted, this, &Sidebar::reshape);
    connect(sourceList_, &SourceList::addFolderClicked, this, [this] { store_.addFolders(); });
    connect(sourceList_, &SourceList::addCameraClicked, this, [this](const QString& id) { store_.addCamera(id); });
    connect(sourceList_, &SourceList::sourceMenuRequested, this, [this](const QUuid& id, const QPoint& at) {
        const QList<LibrarySource>& sources = store_.sources();
        const auto source = std::find_if(sources.cbegin(), sources.cend(),
                                         [&id](const LibrarySource& each) { return each.id == id; });
        if (source != sources.cend()) {
            QMenu* menu = sourceMenu(*source).release();
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(at);
        }
    });

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
                                       SidebarRow::Look{.weight = QFont::Medium}, this);
    connect(preferences, &QAbstractButton::clicked, this, &Sidebar::preferencesRequested);
    column->addWidget(preferences);
    column->addSpacing(8);

    credit_ = secondaryLabel(QStringLiteral("Your originals stay where they are."), PivraFonts::font(10), 0.35,
                             this);
    credit_->setContentsMargins(22, 0, 22, 16);
    column->addWidget(credit_);

    for (const auto changed : {&LibraryStore::sourcesChanged, &LibraryStore::availableCamerasChanged,
                               &LibraryStore::partlyWatchedSourceIDsChanged}) {
        connect(&store_, changed, this, &Sidebar::reshape);
    }
    connect(&store_, &LibraryStore::indexedFoldersChanged, this, [this] {
        if (!sourceList_->showsFolders(store_.indexedFolders())) {
            reshape();
        }
    });
    for (const auto changed :
         {&LibraryStore::selectedSourceIDChanged, &LibraryStore::selectedFolderPathChanged,
          &LibraryStore::showsFavoritesChanged, &LibraryStore::showsAlbumsChanged, &LibraryStore::showsMapChanged,
          &LibraryStore::selectedAlbumIDChanged}) {
        connect(&store_, changed, this, &Sidebar::showSelection);
    }
    for (const auto changed : {&LibraryStore::scanningSourceIDsChanged, &LibraryStore::thumbnailStatusesChanged}) {
        connect(&store_, changed, this, &Sidebar::showStatuses);
    }
    for (const auto changed :
         {&LibraryStore::isScanningChanged, &LibraryStore::scannedCountChanged,
          &LibraryStore::isPreparingThumbnailsChanged, &LibraryStore::thumbnailCompletedChanged,
          &LibraryStore::thumbnailTotalChanged}) {
        connect(&store_, changed, this, &Sidebar::updateStatusLines);
    }
    applyColours();
    reshape();
    updateStatusLines();
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
    reshape();
}

void Sidebar::toggleFolder(const QString& key)
{
    if (!expandedFolders_.remove(key)) {
        expandedFolders_.insert(key);
    }
    reshape();
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
        tintSecondary(label, palette());
    }
}

// New rows start in the selection and status of the moment.
void Sidebar::reshape()
{
    const QList<LibrarySource>& sources = store_.sources();
    sourceList_->reshape({sources, store_.indexedFolders(), camerasToAdd(store_.availableCameras(), sources),
                          expandedSources_, expandedFolders_, store_.partlyWatchedSourceIDs()});
    showSelection();
    showStatuses();
}

void Sidebar::showSelection()
{
    const LibraryRowsView view{store_.selectedSourceID(), store_.showsFavorites(), store_.showsAlbums(),
                           store_.showsMap(), store_.selectedAlbumID()};
    for (std::size_t index = 0; index < libraryRows_.size(); ++index) {
        libraryRows_[index]->setSelected(isHighlighted(libraryEntries[index].row, view));
    }
    sourceList_->showSelection(store_.selectedSourceID(), store_.selectedFolderPath());
}

void Sidebar::showStatuses()
{
    sourceList_->showStatuses(store_.sources(), store_.scanningSourceIDs(), store_.thumbnailStatuses());
}

void Sidebar::updateStatusLines()
{
    indexingLine_->setVisible(store_.isScanning());
    indexingText_->setText(QStringLiteral("Indexing %1 files").arg(store_.scannedCount()));
    thumbnailLine_->setVisible(store_.isPreparingThumbnails());
    thumbnailText_->setText(
        QStringLiteral("Thumbnails %1/%2").arg(store_.thumbnailCompleted()).arg(store_.thumbnailTotal()));
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
