#pragma once

#include <QPointer>

#include <functional>

namespace pivra {

// The way back to the GUI thread for work that ends on another one. Made on
// the GUI thread for the object an answer is meant for; posting works from
// any thread. Whether that object still exists is asked only on the GUI
// thread, where it can be destroyed: a guarded pointer may not be read
// anywhere else, so it is never the target of the post itself.
class GuiReturn {
public:
    explicit GuiReturn(const QObject* context) : context_(context) {}

    // `call` runs on the GUI thread, later, if the object is still there.
    // False when it never will: the application is gone already.
    bool post(std::function<void()> call) const;

private:
    QPointer<const QObject> context_;
};

} // namespace pivra
