#pragma once

#include "catalog/model/MapPhoto.h"
#include "gallery/TileLift.h"
#include "gallery/preview/PreviewFrameBudget.h"
#include "gallery/preview/PreviewPool.h"
#include "map/MapStyle.h"
#include "map/places/PlaceDateText.h"
#include "map/places/PlaceGridLayout.h"
#include "map/places/PlaceGroup.h"

#include <QAbstractScrollArea>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace pivra {

class PlaceNamer;
class ThumbnailStore;

// The located photos as a scrolling list of places: photos cut into groups
// by place and time, each group a section whose header names the place,
// gives its day or days and its region, and shows the group on the map when
// clicked; below it the group's photos as square tiles. With a selection
// (a pin of several photos clicked on the map) a bar above names the area,
// counts the photos and offers the way back to all places.
//
// Painted on one viewport like the gallery: the layout answers which
// sections and tiles meet the view, only tiles near it hold a preview (which
// asks for the thumbnail and fades it in once), and tiles leaving that band
// are recycled, which cancels their requests. Each section asks the namer for
// its place as it comes into view; names arriving later only repaint, since
// a header keeps its height whatever it says.
class PlaceGrid : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr double groupRadius = 5000;   // metres from a group's first photo
    static constexpr double groupGap = 43200;     // seconds older than a group's oldest photo
    static constexpr double regionSpan = 10000;   // metres: a wider selection is titled by its region

    PlaceGrid(PlaceNamer& namer, ThumbnailStore& thumbnails, QWidget* parent = nullptr);
    ~PlaceGrid() override;

    // Newest first. The groups are made again whenever the ids differ from
    // those shown, in number, order or value.
    void setPhotos(std::vector<MapPhoto> photos);
    const std::vector<MapPhoto>& photos() const { return photos_; }
    const std::vector<PlaceGroup>& groups() const { return groups_; }
    // The store's located photos as it published them under `version`: the
    // selection's part of them, or all, is shown. Nothing is done while the
    // version and the selection are those last taken, so the window may
    // pass them on at every change of the store at no cost.
    void showLocated(const std::vector<MapPhoto>& located, int version);
    // A new selection, or its end, opens the list at the top.
    void setSelection(std::optional<MapSelection> selection);
    // The locale and time zone of the date lines; the user's by default.
    void setDateFormat(const QLocale& locale, const QTimeZone& zone);

    // What a section's header says: the place's name, or "Locating…" until
    // the namer knows it, then the date line and the region, if any.
    QString sectionTitle(int section) const;
    QString dateText(int section) const;
    std::optional<QString> regionText(int section) const;
    QString selectionTitle() const;
    QString countText() const;

    const PlaceGridLayout& layout() const { return layout_; }
    // Viewport rectangles of a section's header line, of photo `index`'s
    // tile, and of the selection bar's "Show All Places" button.
    QRectF headerRect(int section) const;
    std::optional<QRectF> tileRect(int index) const;
    QRectF showAllRect() const;
    // The parts a reader hears and the keyboard walks, in order: "Show All
    // Places" while there is a selection, then each section's header
    // followed by its photos. A part's index is the photo's or section's.
    enum class PartKind { showAll, header, tile };
    struct Part {
        PartKind kind = PartKind::showAll;
        int index = 0;
    };
    int partCount() const;
    Part part(int position) const;
    QString partName(int position) const;
    QRectF partRect(int position) const;
    // Does what a click on the part does.
    void activatePart(int position);
    // The part the keyboard is on, or -1.
    int focusedPart() const { return focused_; }

    // The preview of a photo near the view; none for one further away.
    const RotatablePreviewView* preview(int index) const;

Q_SIGNALS:
    void opened(const pivra::MediaItem& item);
    // The area of a group's photos, for the map to show.
    void showOnMap(const pivra::MapFocus& focus);
    void showAll();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void relayout();
    void updateBand();
    double scrollY() const;
    std::optional<int> photoAt(QPointF viewportPoint) const;
    std::optional<int> headerAt(QPointF viewportPoint) const;
    // Draws a section's header line from its left end, or with no painter
    // only measures it; answers its width.
    double paintHeader(QPainter* painter, int section) const;
    void paintBar(QPainter& painter) const;
    void paintTile(QPainter& painter, int index, QRectF rect, bool dark, bool& unrefined,
                   PreviewFrameBudget& budget) const;

    PlaceNamer& namer_;
    ThumbnailStore& thumbnails_;
    std::vector<MapPhoto> photos_;
    std::optional<std::pair<std::size_t, std::size_t>> signature_; // count and digest of the ids
    std::optional<std::pair<int, std::optional<MapSelection>>> located_; // the version and selection shown
    std::vector<PlaceGroup> groups_;
    std::optional<MapSelection> selection_;
    QString identity_;
    PlaceGridLayout layout_;
    std::unique_ptr<PlaceDateText> dates_;
    mutable std::vector<QString> dateTexts_; // made as sections are first drawn
    PreviewPool previews_;
    std::pair<int, int> shownSections_{0, 0};

    // Moves the keyboard to another part and scrolls it into view; false when
    // there is none that way.
    bool moveFocus(int step);

    std::optional<QPointF> pressPosition_;
    int focused_ = -1;
    TileLift lift_;
};

} // namespace pivra
