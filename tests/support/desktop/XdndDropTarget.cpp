#include "support/desktop/XdndDropTarget.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace pivra::test {

namespace {

constexpr std::uint32_t xdndVersion = 5;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

struct XdndDropTarget::State {
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = XCB_WINDOW_NONE;
    xcb_atom_t aware, position, status, drop, finished, selection, copy, uriList, property, quit;
    std::thread thread;
    mutable std::mutex mutex;
    bool accepted = false;
    std::optional<QByteArray> dropped;
    xcb_window_t source = XCB_WINDOW_NONE;

    void send(xcb_window_t to, xcb_atom_t type, std::uint32_t d1, std::uint32_t d2, std::uint32_t d4)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = to;
        message.type = type;
        message.data.data32[0] = window;
        message.data.data32[1] = d1;
        message.data.data32[2] = d2;
        message.data.data32[4] = d4;
        xcb_send_event(connection, 0, to, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        xcb_flush(connection);
    }

    // Returns false once asked to stop.
    bool handle(const xcb_generic_event_t& event)
    {
        const auto type = event.response_type & 0x7f;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto& message = reinterpret_cast<const xcb_client_message_event_t&>(event);
            if (message.type == quit) {
                return false;
            }
            if (message.type == position) {
                send(message.data.data32[0], status, 1, 0, copy); // taken, anywhere, as a copy
                const std::lock_guard lock(mutex);
                accepted = true;
            } else if (message.type == drop) {
                source = message.data.data32[0];
                xcb_convert_selection(connection, window, selection, uriList, property, message.data.data32[2]);
                xcb_flush(connection);
            }
        } else if (type == XCB_SELECTION_NOTIFY) {
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
            QByteArray data;
            if (notify.property != XCB_ATOM_NONE) {
                xcb_get_property_reply_t* reply = xcb_get_property_reply(
                    connection, xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20),
                    nullptr);
                if (reply != nullptr) {
                    data = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                      xcb_get_property_value_length(reply));
                }
                std::free(reply);
            }
            send(source, finished, data.isEmpty() ? 0 : 1, copy, 0);
            const std::lock_guard lock(mutex);
            dropped = data;
        }
        return true;
    }

    void run()
    {
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection)) {
            const bool goOn = handle(*event);
            std::free(event);
            if (!goOn) {
                return;
            }
        }
    }
};

XdndDropTarget::XdndDropTarget(QRect geometry) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(s.connection) != 0) {
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(s.connection)).data;
    s.window = xcb_generate_id(s.connection);
    const std::uint32_t values[] = {screen->white_pixel, 1}; // override redirect: no window manager needed
    xcb_create_window(s.connection, XCB_COPY_FROM_PARENT, s.window, screen->root, std::int16_t(geometry.x()),
                      std::int16_t(geometry.y()), std::uint16_t(geometry.width()), std::uint16_t(geometry.height()), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    s.aware = internAtom(s.connection, "XdndAware");
    s.position = internAtom(s.connection, "XdndPosition");
    s.status = internAtom(s.connection, "XdndStatus");
    s.drop = internAtom(s.connection, "XdndDrop");
    s.finished = internAtom(s.connection, "XdndFinished");
    s.selection = internAtom(s.connection, "XdndSelection");
    s.copy = internAtom(s.connection, "XdndActionCopy");
    s.uriList = internAtom(s.connection, "text/uri-list");
    s.property = internAtom(s.connection, "PIVRA_TEST_DROP");
    s.quit = internAtom(s.connection, "PIVRA_TEST_QUIT");
    xcb_change_property(s.connection, XCB_PROP_MODE_REPLACE, s.window, s.aware, XCB_ATOM_ATOM, 32, 1, &xdndVersion);
    xcb_map_window(s.connection, s.window);
    xcb_flush(s.connection);
    s.thread = std::thread([&s] { s.run(); });
}

XdndDropTarget::~XdndDropTarget()
{
    State& s = *state_;
    if (s.thread.joinable()) {
        // The thread waits in the connection; a message to itself wakes it.
        xcb_connection_t* waker = xcb_connect(nullptr, nullptr);
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = s.window;
        message.type = s.quit;
        xcb_send_event(waker, 0, s.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        xcb_flush(waker);
        s.thread.join();
        xcb_disconnect(waker);
    }
    xcb_disconnect(s.connection);
}

bool XdndDropTarget::isShown() const
{
    return state_->thread.joinable();
}

bool XdndDropTarget::accepted() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->accepted;
}

std::optional<QByteArray> XdndDropTarget::dropped() const
{
    const std::lock_guard lock(state_->mutex);
    return state_->dropped;
}

} // namespace pivra::test
