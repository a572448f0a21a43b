#include "settings/PivraPreferences.h"

#include "settings/GeneralTab.h"
#include "settings/PreferenceCard.h"
#include "settings/ProcessesTab.h"
#include "store/LibraryStore.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"
#include "style/controls/DialogBorder.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>

namespace pivra {

namespace {

QString tabSymbol(PreferencesRouter::Pane tab)
{
    switch (tab) {
    case PreferencesRouter::Pane::general:
        return QStringLiteral("gearshape");
    case PreferencesRouter::Pane::storage:
        return QStringLiteral("externaldrive");
    case PreferencesRouter::Pane::processes:
        return QStringLiteral("arrow.triangle.2.circlepath");
    }
    return {};
}

QWidget* hairline(QWidget* parent)
{
    return new PreferenceDivider(0, parent);
}

} // namespace

// One tab of the bar: its symbol over its title, in the accent colour while
// selected, else secondary; the whole 110×48 reacts to clicks.
class PivraPreferences::TabButton final : public QAbstractButton {
public:
    TabButton(Pane tab, QWidget* parent)
        : QAbstractButton(parent)
        , tab_(tab)
    {
        setFixedSize(110, 48);
        setText(PreferencesRouter::rawValue(tab));
        setCheckable(true);
        setAutoExclusive(true);
        setFocusPolicy(Qt::TabFocus);
    }

    Pane tab() const { return tab_; }

    void setDot(bool dot)
    {
        if (dot != dot_) {
            dot_ = dot;
            update();
        }
    }
    bool hasDot() const { return dot_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        constexpr int symbolSize = 17;
        constexpr int symbolFrame = 21;
        constexpr int spacing = 5;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor tint =
            isChecked() ? palette().color(QPalette::Highlight) : palette().color(QPalette::PlaceholderText);
        const QFont font = PivraFonts::font(11, isChecked() ? QFont::DemiBold : QFont::Normal);
        const int textHeight = QFontMetrics(font).height();
        const int top = (height() - symbolFrame - spacing - textHeight) / 2;
        const QRectF symbol((width() - symbolSize) / 2.0, top + (symbolFrame - symbolSize) / 2.0, symbolSize,
                            symbolSize);
        painter.drawPixmap(symbol.topLeft(),
                           Symbols::pixmap(tabSymbol(tab_), QSize(symbolSize, symbolSize), tint, devicePixelRatioF()));
        if (dot_) {
            constexpr qreal dot = 7;
            painter.setPen(Qt::NoPen);
            painter.setBrush(palette().color(QPalette::Highlight));
            painter.drawEllipse(QRectF(symbol.right() - dot + 5, symbol.top() - 2, dot, dot));
        }
        painter.setFont(font);
        painter.setPen(tint);
        painter.drawText(QRect(0, top + symbolFrame + spacing, width(), textHeight), Qt::AlignHCenter, text());
    }

private:
    Pane tab_;
    bool dot_ = false;
};

PivraPreferences::PivraPreferences(Pane initialTab, LibraryStore& store, const PreferencesServices& services,
                                   PreferencesRouter& router, QWidget* parent)
    : QDialog(parent)
    , store_(store)
    , router_(router)
    , selected_(initialTab)
{
    setWindowTitle(QStringLiteral("Preferences"));
    setFixedSize(sheetWidth, sheetHeight);
    auto* sheet = new QVBoxLayout(this);
    DialogBorder::addTo(*this);
    // Room for the border, which nothing inside may cover.
    sheet->setContentsMargins(DialogBorder::width, DialogBorder::width, DialogBorder::width, DialogBorder::width);
    sheet->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(24, 20, 24, 12);
    auto* title = new QLabel(QStringLiteral("Preferences"), this);
    title->setFont(PivraFonts::font(20, QFont::DemiBold));
    header->addWidget(title);
    header->addStretch(1);
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    done_ = done;
    header->addWidget(done);
    sheet->addLayout(header);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 10);
    bar->setSpacing(0);
    bar->addStretch(1);
    for (const Pane tab : PreferencesRouter::allPanes) {
        auto* button = new TabButton(tab, this);
        connect(button, &QAbstractButton::clicked, this, [this, tab] { selectTab(tab); });
        bar->addWidget(button);
        tabs_.append(button);
    }
    bar->addStretch(1);
    sheet->addLayout(bar);
    sheet->addWidget(hairline(this));

    pages_ = new QStackedWidget(this);
    general_ = new GeneralTab(services.applyAppearance);
    if (services.makeUpdateSection) {
        general_->setUpdateSection(services.makeUpdateSection(general_));
    }
    storage_ = new StorageTab(store_, services.storage);
    processes_ = new ProcessesTab(
        store_.processes(), [this](PivraProcess::Kind kind) { stopProcesses(store_, kind); }, services.clock);
    for (QWidget* tab : {static_cast<QWidget*>(general_), static_cast<QWidget*>(storage_),
                         static_cast<QWidget*>(processes_)}) {
        pages_->addWidget(tabPage(tab));
    }
    sheet->addWidget(pages_, 1);

    sheet->addWidget(hairline(this));
    version_ = secondaryLabel(QStringLiteral("Version ")
                                  + (services.version.isEmpty() ? QStringLiteral("—") : services.version),
                              11, this);
    version_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    version_->setContentsMargins(24, 10, 24, 10);
    // Quieter than the other secondary texts.
    auto* faded = new QGraphicsOpacityEffect(version_);
    faded->setOpacity(0.7);
    version_->setGraphicsEffect(faded);
    sheet->addWidget(version_);

    for (const auto changed : {&LibraryStore::isScanningChanged, &LibraryStore::isPreparingThumbnailsChanged,
                               &LibraryStore::isPreparingVideoPreviewsChanged,
                               &LibraryStore::isReadingLocationsChanged}) {
        connect(&store_, changed, this, &PivraPreferences::showActivity);
    }
    showActivity();
    selectTab(initialTab);
}

// A tab's content padded 24 on every side, top-leading, scrolling only when
// it is longer than the sheet.
QWidget* PivraPreferences::tabPage(QWidget* content)
{
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    auto* padded = new QWidget(scroll);
    padded->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(padded);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(content);
    scroll->setWidget(padded);
    return scroll;
}

void PivraPreferences::selectTab(Pane tab)
{
    selected_ = tab;
    const auto index = static_cast<int>(tab);
    tabs_[index]->setChecked(true);
    pages_->setCurrentIndex(index);
    // Laid out now rather than on the next turn, so the tab never shows at
    // the size, or with the scroll bar, it had while hidden.
    pages_->currentWidget()->setGeometry(pages_->rect());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (TabButton* button : std::as_const(tabs_)) {
        button->update();
    }
}

bool PivraPreferences::showsActivityDot() const
{
    return tabs_[static_cast<int>(Pane::processes)]->hasDot();
}

QAbstractButton* PivraPreferences::tabButton(Pane tab) const
{
    return tabs_[static_cast<int>(tab)];
}

void PivraPreferences::showActivity()
{
    tabs_[static_cast<int>(Pane::processes)]->setDot(store_.isScanning() || store_.isPreparingThumbnails()
                                                     || store_.isPreparingVideoPreviews()
                                                     || store_.isReadingLocations());
}

void PivraPreferences::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier) {
        for (QPushButton* button : pages_->currentWidget()->findChildren<QPushButton*>()) {
            if (button->property(returnActionProperty).toBool() && button->isVisible() && button->isEnabled()) {
                button->click();
                return;
            }
        }
        // Whichever button had focus or was made default on the way, Return
        // is "Done" when no tab claims it.
        done_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PivraPreferences::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (observing_) {
        return;
    }
    observing_ = true;
    storage_->refreshStorage();
    // The request held now is the pane the sheet was opened at, or none when
    // it was opened directly; later ones switch the tab at once.
    const auto follow = [this](std::optional<Pane> request) {
        if (request) {
            selectTab(*request);
        }
    };
    follow(router_.request());
    connect(&router_, &PreferencesRouter::requestWritten, this, follow);
}

void stopProcesses(LibraryStore& store, PivraProcess::Kind kind)
{
    switch (kind) {
    case PivraProcess::Kind::indexing:
        store.cancelScan();
        break;
    case PivraProcess::Kind::thumbnails:
        store.cancelThumbnailPreparation();
        break;
    case PivraProcess::Kind::videoPreviews:
        store.cancelVideoPreviewPreparation();
        break;
    case PivraProcess::Kind::locations:
        store.cancelLocationReading();
        break;
    }
}

} // namespace pivra
