#include "app/header/SearchField.h"

#include "style/motion/Motion.h"
#include "style/controls/PaintedAccessible.h"
#include "style/appearance/PivraAppearance.h"
#include "style/assets/PivraFonts.h"
#include "style/assets/Symbols.h"
#include "platform/runtime/Task.h"
#include "store/LibraryStore.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace pivra {

namespace {

constexpr int fieldHeight = 30;
constexpr int sidePadding = 11;
constexpr int symbolWidth = 14;
constexpr int gap = 7;

const QString examples = QStringLiteral("Search by date, place or name, in English or Turkish: “Istanbul 2021”, "
                                        "“Aug 2021”, “10 Ağu 2021”, "
                                        "“2020 - 2022”, “geçen ay videolar”, “before 2021”, “name:IMG_3809”");

// The clear button: the symbol alone, no chrome.
class ClearButton final : public QAbstractButton {
public:
    using QAbstractButton::QAbstractButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QSize size(symbolWidth, symbolWidth);
        painter.drawPixmap(QRect(QPoint((width() - size.width()) / 2, (this->height() - size.height()) / 2), size),
            Symbols::pixmap(QStringLiteral("xmark.circle.fill"), size, palette().color(QPalette::PlaceholderText),
                devicePixelRatioF()));
    }
};

// Closed, the field is a button that opens it; open, it only holds the
// text field and the clear button.
class SearchAccessible final : public PaintedAccessible {
public:
    explicit SearchAccessible(SearchField* field)
        : PaintedAccessible(field, QAccessible::Button)
    {
    }

    QAccessible::Role role() const override { return closed() ? QAccessible::Button : QAccessible::Grouping; }
    QStringList actionNames() const override
    {
        return closed() ? QStringList{pressAction()} + PaintedAccessible::actionNames()
                        : PaintedAccessible::actionNames();
    }
    void doAction(const QString& action) override
    {
        if (action == pressAction() && closed()) {
            field()->openSearch();
        } else {
            PaintedAccessible::doAction(action);
        }
    }

private:
    // Looked up at each question, so a field being torn down is no button.
    SearchField* field() const { return qobject_cast<SearchField*>(widget()); }
    bool closed() const { return field() && !field()->isOpen(); }
};

} // namespace

SearchField::SearchField(LibraryStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , editor_(new QLineEdit(this))
    , clear_(new ClearButton(this))
{
    installAccessibleFactory(&accessibleFor<SearchField, SearchAccessible>);
    setObjectName(QStringLiteral("searchField"));
    setToolTip(examples);
    setAccessibleName(QStringLiteral("Search"));
    setFont(PivraFonts::font(12));
    setCursor(Qt::PointingHandCursor);
    editor_->setFrame(false);
    editor_->setPlaceholderText(QStringLiteral("Dates, places, names"));
    editor_->setFont(PivraFonts::font(12));
    editor_->setCursor(Qt::IBeamCursor);
    QPalette transparent = editor_->palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    editor_->setPalette(transparent);
    editor_->installEventFilter(this);
    clear_->setToolTip(QStringLiteral("Clear search"));
    clear_->setAccessibleName(QStringLiteral("Clear search"));
    clear_->setCursor(Qt::ArrowCursor);

    // Only the user's edits go back to the store: text shown from the
    // store must not write it again.
    connect(editor_, &QLineEdit::textEdited, this, &SearchField::edited);
    connect(clear_, &QAbstractButton::clicked, this, [this] { closeSearch(true); });
    connect(&store_, &LibraryStore::searchChanged, this, &SearchField::showStoreText);
    connect(&motion_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        openness_ = value.toDouble();
        layOut();
        Q_EMIT widthChanged();
    });
    showStoreText();
}

bool SearchField::isOpen() const
{
    return expanded_ || !store_.search().isEmpty();
}

QSize SearchField::sizeHint() const
{
    return {currentWidth(), fieldHeight};
}

int SearchField::currentWidth() const
{
    return qRound(closedWidth + (expandedWidth_ - closedWidth) * openness_);
}

void SearchField::setExpandedWidth(int width)
{
    expandedWidth_ = width;
    Q_EMIT widthChanged();
}

void SearchField::openSearch()
{
    expanded_ = true;
    openTo(true);
    QTimer::singleShot(0, editor_, [this] { editor_->setFocus(Qt::ShortcutFocusReason); });
}

void SearchField::closeSearch(bool clearing)
{
    expanded_ = false;
    if (clearing && !store_.search().isEmpty()) {
        edited(QString());
    }
    openTo(isOpen());
    editor_->clearFocus();
}

void SearchField::edited(const QString& text)
{
    store_.setSearch(text);
    startTask(&store_, store_.reload());
}

void SearchField::showStoreText()
{
    if (editor_->text() != store_.search()) {
        editor_->setText(store_.search());
    }
    openTo(isOpen());
    layOut();
}

void SearchField::openTo(bool open)
{
    const double target = open ? 1 : 0;
    if (motion_.endValue().toDouble() == target
        && (motion_.state() == QAbstractAnimation::Running || openness_ == target)) {
        return;
    }
    motion_.stop();
    motion_.setStartValue(openness_);
    motion_.setEndValue(target);
    Motion::apply(motion_, curves::spring<340, 860>());
    if (isVisible() && motion_.duration() > 0) {
        motion_.start();
    } else {
        openness_ = target;
        layOut();
        Q_EMIT widthChanged();
    }
}

void SearchField::layOut()
{
    const bool open = isOpen();
    const int left = qRound(sidePadding * openness_) + symbolWidth + gap;
    const int clearWidth = open && !store_.search().isEmpty() ? symbolWidth + gap : 0;
    const int right = width() - qRound(sidePadding * openness_);
    editor_->setVisible(open || openness_ > 0);
    clear_->setVisible(clearWidth > 0);
    editor_->setGeometry(left, 0, qMax(0, right - clearWidth - left), fieldHeight);
    clear_->setGeometry(right - symbolWidth, (fieldHeight - symbolWidth) / 2, symbolWidth, symbolWidth);
    update();
}

void SearchField::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOut();
}

// A click on the closed field opens it; on the open one it does nothing.
void SearchField::mousePressEvent(QMouseEvent* event)
{
    if (!isOpen()) {
        openSearch();
    }
    event->accept();
}

bool SearchField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == editor_) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            closeSearch(true);
            return true;
        }
        if (event->type() == QEvent::FocusOut) {
            if (store_.search().isEmpty()) {
                closeSearch(false);
            }
            update();
        } else if (event->type() == QEvent::FocusIn) {
            update();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SearchField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = PivraAppearance::isDark(palette());
    const QRectF capsule = QRectF(0, 0, width(), fieldHeight).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    painter.fillPath(path, PivraAppearance::primary(palette(), dark ? 0.055 : 0.045));
    painter.setPen(QPen(PivraAppearance::primary(palette(), editor_->hasFocus() ? 0.25 : 0.09), 1));
    painter.drawPath(path);

    // Centred in the closed circle, at the leading edge once open.
    const QSize symbol(symbolWidth, symbolWidth);
    const double closedLeft = (closedWidth - symbolWidth) / 2.0;
    const int left = qRound(closedLeft + (sidePadding - closedLeft) * openness_);
    const QColor tint = palette().color(isOpen() ? QPalette::PlaceholderText : QPalette::WindowText);
    painter.drawPixmap(QRect(QPoint(left, (fieldHeight - symbolWidth) / 2), symbol),
        Symbols::pixmap(QStringLiteral("magnifyingglass"), symbol, tint, devicePixelRatioF()));
}

} // namespace pivra
