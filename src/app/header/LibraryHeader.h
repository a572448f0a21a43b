#pragma once

#include "app/header/HeaderModel.h"
#include "style/appearance/Material.h"

#include <QVariantAnimation>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QGraphicsOpacityEffect;
class QMenu;

namespace pivra {

class DensityControl;
class DisconnectedToggle;
class HeaderTitle;
class LibraryStore;
class LibraryWindow;
class PillTrack;
class SearchField;

// The strip over the top of the gallery area. Over the gallery and the
// album overview it carries the sidebar toggle, the title and its counts,
// the media filter (pills, or a menu when narrow), the new-album button,
// the density buttons, the disconnected switch and the search; over the map
// only the sidebar toggle and the map style pills. It is laid out for the
// window's width step, not its live width, and folds controls away as the
// step narrows. Given a parent, it fills it.
class LibraryHeader final : public QWidget {
    Q_OBJECT

public:
    LibraryHeader(LibraryStore& store, LibraryWindow& window, QWidget* parent = nullptr);

    QString title() const;
    // The title as drawn: cut short with an ellipsis only where it does not fit.
    QString shownTitle() const;
    QString subtitle() const;
    const HeaderFlags& flags() const { return flags_; }

    QAbstractButton* sidebarToggle() const { return sidebarToggle_; }
    PillTrack* filterPills() const { return filterPills_; }
    QAbstractButton* filterMenuButton() const { return filterMenuButton_; }
    QMenu* filterMenu() const { return filterMenu_; }
    QAbstractButton* newAlbumButton() const { return newAlbum_; }
    DensityControl* density() const { return density_; }
    DisconnectedToggle* disconnectedToggle() const { return disconnected_; }
    SearchField* searchField() const { return search_; }
    PillTrack* mapStylePills() const { return mapPills_; }
    // The map the header lies over, shown blurred through its controls'
    // material while it is on screen.
    void setMapBeneath(QWidget* map);

    // The names of the map styles, in pill order.
    static const QStringList mapStyles;

Q_SIGNALS:
    // The user asks for a new, empty album.
    void newAlbumRequested();
    // The "Grid" pill shows every place again, dropping the map's pick.
    void mapSelectionCleared();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A control that folds to no width as its flag goes, the header easing
    // it in and out.
    struct Fold {
        QWidget* widget;
        QGraphicsOpacityEffect* effect;
        QVariantAnimation motion;
        double shown = 1;
    };

    void setUpFold(Fold& fold, QWidget* widget);
    void foldTo(Fold& fold, bool shown);
    int foldedWidth(const Fold& fold) const;
    void refresh();
    void filterPicked(int index, bool always);
    void mapPillClicked(int index);
    void layOut();
    int leftInset() const;

    LibraryStore& store_;
    LibraryWindow& window_;
    int widthStep_;
    HeaderFlags flags_;

    QAbstractButton* sidebarToggle_;
    HeaderTitle* title_;
    PillTrack* filterPills_;
    QAbstractButton* filterMenuButton_;
    QMenu* filterMenu_;
    QAbstractButton* newAlbum_;
    DensityControl* density_;
    DisconnectedToggle* disconnected_;
    SearchField* search_;
    PillTrack* mapPills_;
    Material toggleMaterial_;

    Fold pillsFold_;
    Fold densityFold_;
    Fold disconnectedFold_;
};

} // namespace pivra
