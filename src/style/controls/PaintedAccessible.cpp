#include "style/controls/PaintedAccessible.h"

#include <QAbstractButton>
#include <QWidget>

#include <set>
#include <vector>

namespace pivra {

// One painted part as a reader sees it: a place in its owner's list, with
// everything else asked of the owner.
class PaintedAccessible::Part final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    Part(PaintedAccessible* owner, int index)
        : owner_(owner)
        , index_(index)
    {
    }

    const PaintedAccessible* owner() const { return owner_; }
    int index() const { return index_; }

    bool isValid() const override { return owner_->isValid() && index_ < owner_->partCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return owner_->window(); }
    QAccessibleInterface* parent() const override { return owner_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text text) const override
    {
        return isValid() ? owner_->partText(index_, text) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return owner_->partRole(index_); }

    QRect rect() const override
    {
        if (!isValid()) {
            return {};
        }
        const QRect local = owner_->partRect(index_);
        return {owner_->widget()->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        state = owner_->partState(index_);
        const QWidget* widget = owner_->widget();
        state.invisible = state.invisible || !widget->isVisible();
        state.offscreen = state.offscreen || !widget->rect().intersects(owner_->partRect(index_));
        state.focused = state.focused || (widget->hasFocus() && owner_->focusedPart() == index_);
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return isValid() ? owner_->partActions(index_) : QStringList(); }
    void doAction(const QString& action) override
    {
        if (isValid()) {
            owner_->doPartAction(index_, action);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    PaintedAccessible* owner_;
    int index_;
};

PaintedAccessible::PaintedAccessible(QWidget* widget, QAccessible::Role role)
    : QAccessibleWidget(widget, role)
{
}

PaintedAccessible::~PaintedAccessible()
{
    forgetParts();
}

PaintedAccessible* PaintedAccessible::of(QWidget* widget)
{
    return dynamic_cast<PaintedAccessible*>(QAccessible::queryAccessibleInterface(widget));
}

QAccessibleInterface* PaintedAccessible::part(int index) const
{
    if (index < 0 || index >= partCount()) {
        return nullptr;
    }
    const auto found = made_.find(index);
    if (found != made_.end()) {
        if (QAccessibleInterface* made = QAccessible::accessibleInterface(found->second)) {
            return made;
        }
    }
    auto* element = new Part(const_cast<PaintedAccessible*>(this), index);
    made_[index] = QAccessible::registerAccessibleInterface(element);
    return element;
}

void PaintedAccessible::forgetParts()
{
    for (const auto& [index, id] : made_) {
        QAccessible::deleteAccessibleInterface(id);
    }
    made_.clear();
}

void PaintedAccessible::notify(QWidget* widget, int index, QAccessible::Event event)
{
    if (!QAccessible::isActive()) {
        return;
    }
    PaintedAccessible* owner = of(widget);
    if (!owner) {
        return;
    }
    if (index >= 0) {
        if (QAccessibleInterface* element = owner->part(index)) {
            QAccessibleEvent happened(element, event);
            QAccessible::updateAccessibility(&happened);
        }
        return;
    }
    // A reader may ask for more parts while it hears of these.
    std::vector<QAccessible::Id> made;
    made.reserve(owner->made_.size());
    for (const auto& [index, id] : owner->made_) {
        made.push_back(id);
    }
    for (const QAccessible::Id id : made) {
        if (QAccessibleInterface* element = QAccessible::accessibleInterface(id); element && element->isValid()) {
            QAccessibleEvent happened(element, event);
            QAccessible::updateAccessibility(&happened);
        }
    }
}

void PaintedAccessible::notifyState(QWidget* widget, int index, QAccessible::State changed)
{
    if (!QAccessible::isActive()) {
        return;
    }
    if (PaintedAccessible* owner = of(widget)) {
        if (QAccessibleInterface* element = owner->part(index)) {
            QAccessibleStateChangeEvent happened(element, changed);
            QAccessible::updateAccessibility(&happened);
        }
    }
}

QString PaintedAccessible::partText(int, QAccessible::Text) const
{
    return {};
}

QRect PaintedAccessible::partRect(int) const
{
    return {};
}

QAccessible::Role PaintedAccessible::partRole(int) const
{
    return QAccessible::StaticText;
}

QAccessible::State PaintedAccessible::partState(int) const
{
    return {};
}

QStringList PaintedAccessible::partActions(int) const
{
    return {};
}

void PaintedAccessible::doPartAction(int, const QString&) {}

int PaintedAccessible::partAt(QPoint point) const
{
    for (int index = 0; index < partCount(); ++index) {
        if (partRect(index).contains(point)) {
            return index;
        }
    }
    return -1;
}

int PaintedAccessible::childCount() const
{
    return QAccessibleWidget::childCount() + partCount();
}

QAccessibleInterface* PaintedAccessible::child(int index) const
{
    const int widgets = QAccessibleWidget::childCount();
    return index < widgets ? QAccessibleWidget::child(index) : part(index - widgets);
}

int PaintedAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    if (const auto* element = dynamic_cast<const Part*>(child)) {
        return element->owner() == this && element->isValid() ? QAccessibleWidget::childCount() + element->index() : -1;
    }
    return QAccessibleWidget::indexOfChild(child);
}

QAccessibleInterface* PaintedAccessible::childAt(int x, int y) const
{
    if (QAccessibleInterface* real = QAccessibleWidget::childAt(x, y)) {
        return real;
    }
    return part(partAt(widget()->mapFromGlobal(QPoint(x, y))));
}

QAccessibleInterface* PaintedAccessible::focusChild() const
{
    if (widget()->hasFocus()) {
        if (QAccessibleInterface* focused = part(focusedPart())) {
            return focused;
        }
    }
    return QAccessibleWidget::focusChild();
}

QString PaintedAccessible::text(QAccessible::Text text) const
{
    const auto* button = qobject_cast<const QAbstractButton*>(widget());
    if (text == QAccessible::Name && button && widget()->accessibleName().isEmpty()) {
        return button->text();
    }
    return QAccessibleWidget::text(text);
}

QAccessible::State PaintedAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget())) {
        state.pressed = button->isDown();
        state.checkable = button->isCheckable();
        state.checked = button->isChecked();
    }
    return state;
}

QStringList PaintedAccessible::actionNames() const
{
    QStringList names;
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget()); button && button->isEnabled()) {
        names << pressAction();
        if (button->isCheckable()) {
            names << toggleAction();
        }
    }
    return names + QAccessibleWidget::actionNames();
}

void PaintedAccessible::doAction(const QString& action)
{
    auto* button = qobject_cast<QAbstractButton*>(widget());
    if (button && button->isEnabled() && (action == pressAction() || action == toggleAction())) {
        button->click();
        return;
    }
    QAccessibleWidget::doAction(action);
}

void installAccessibleFactory(QAccessible::InterfaceFactory factory)
{
    static std::set<QAccessible::InterfaceFactory> installed;
    if (installed.insert(factory).second) {
        QAccessible::installFactory(factory);
    }
}

} // namespace pivra
