#pragma once

#include <QByteArray>
#include <QRect>

#include <memory>
#include <optional>

namespace pivra::test {

// Another application taking file drops, as a file manager does: a window
// of a separate X client (its own connection to $DISPLAY, served on a thread
// of its own) that accepts every drag over it and, on the drop, asks the
// source for "text/uri-list" and says when it is done.
class XdndDropTarget {
public:
    // The window at `geometry` of the screen, shown above everything else.
    explicit XdndDropTarget(QRect geometry);
    ~XdndDropTarget();

    XdndDropTarget(const XdndDropTarget&) = delete;
    XdndDropTarget& operator=(const XdndDropTarget&) = delete;

    // Whether the window is up (an X server answered).
    bool isShown() const;
    // Whether a drag has been told that a drop here is taken.
    bool accepted() const;
    // The URI list a drop brought, empty when the source gave nothing; none
    // before a drop has been answered.
    std::optional<QByteArray> dropped() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace pivra::test
