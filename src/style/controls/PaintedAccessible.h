#pragma once

#include <QAccessibleWidget>

#include <unordered_map>

namespace pivra {

// What assistive technology is told about a widget that paints parts of its
// own (the pills of a track, the tiles of the gallery, a row's status dot):
// the widget, whose real children come first, then one element per part.
// An element is made only when a reader asks for that part, and it reads
// everything from its owner at each question, so it never goes stale; it
// lives until the widget goes or forgetParts() drops it. A widget that is a
// button reads as one: its text names it, it can be pressed, and toggled
// when checkable.
//
// A subclass describes the parts; the static notify functions tell readers
// of changes, and do nothing at all unless one is listening.
class PaintedAccessible : public QAccessibleWidget {
public:
    PaintedAccessible(QWidget* widget, QAccessible::Role role);

    // The interface of `widget` when it is one of these, made if need be.
    static PaintedAccessible* of(QWidget* widget);

    // The element of part `index`, made on the first question; none past the end.
    QAccessibleInterface* part(int index) const;
    // Drops every element made so far, for parts that now mean something else.
    void forgetParts();

    // Tells listening readers that `event` happened to part `index` of
    // `widget`, or to every part a reader has asked for when `index` is -1.
    static void notify(QWidget* widget, int index, QAccessible::Event event);
    // Tells listening readers that the `changed` states of part `index` changed.
    static void notifyState(QWidget* widget, int index, QAccessible::State changed);

    // The parts, as a subclass describes them. Rectangles are in the
    // widget's coordinates; an element also reads as invisible or off
    // screen by where its rectangle lies.
    virtual int partCount() const { return 0; }
    virtual QString partText(int index, QAccessible::Text text) const;
    virtual QRect partRect(int index) const;
    virtual QAccessible::Role partRole(int index) const;
    virtual QAccessible::State partState(int index) const;
    virtual QStringList partActions(int index) const;
    virtual void doPartAction(int index, const QString& action);
    // The part under `point`, or -1; a plain search of every rectangle.
    virtual int partAt(QPoint point) const;
    // The part holding the keyboard focus while the widget has it, or -1.
    virtual int focusedPart() const { return -1; }

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    QString text(QAccessible::Text text) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString& action) override;

protected:
    ~PaintedAccessible() override;

private:
    class Part;

    mutable std::unordered_map<int, QAccessible::Id> made_;
};

// Lets `factory` describe objects from now on; the same factory is installed once.
void installAccessibleFactory(QAccessible::InterfaceFactory factory);

// A factory describing every `Widget` by an `Interface` made from it.
template <class Widget, class Interface>
QAccessibleInterface* accessibleFor(const QString&, QObject* object)
{
    auto* widget = dynamic_cast<Widget*>(object);
    return widget ? new Interface(widget) : nullptr;
}

} // namespace pivra
