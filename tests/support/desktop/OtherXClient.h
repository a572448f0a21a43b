#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace pivra::test {

// Another program on the X server ($DISPLAY): what it sees of the screen's
// windows and what it can do to them, as a tool such as xdotool does, or a
// click does where no window manager runs.
class OtherXClient {
public:
    // On $DISPLAY, or on `display` (":2") when given.
    explicit OtherXClient(const QString& display = {});
    ~OtherXClient();

    OtherXClient(const OtherXClient&) = delete;
    OtherXClient& operator=(const OtherXClient&) = delete;

    // Whether an X server answered.
    bool isConnected() const;
    // The screen's top-level windows, the bottom one first.
    std::vector<quint32> stacking() const;
    // Whether `upper` is stacked above `lower`, both top-level windows.
    bool isAbove(quint32 upper, quint32 lower) const;
    // Raises `window` above every other.
    void raise(quint32 window);
    // Moves `window` so its top left corner lies at `x`, `y` of the screen.
    void move(quint32 window, int x, int y);
    // Asks `window` to close, as a window manager's close button does.
    void askToClose(quint32 window);
    // The top-level window process `pid` shows on the screen (by its
    // _NET_WM_PID), if any.
    std::optional<quint32> shownWindowOf(qint64 pid) const;
    // Gives `window` the keyboard and types the key of `keysym` with Control
    // held, as xdotool's `key --window` does: the events are sent to it.
    void typeWithControl(quint32 window, quint32 keysym);

private:
    void roundTrip() const;
    quint32 atom(const char* name) const;

    struct Connection;
    Connection* connection_;
};

} // namespace pivra::test
