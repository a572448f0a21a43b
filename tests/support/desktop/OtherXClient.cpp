#include "support/desktop/OtherXClient.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace pivra::test {

struct OtherXClient::Connection {
    xcb_connection_t* x = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
};

OtherXClient::OtherXClient(const QString& display) : connection_(new Connection)
{
    connection_->x = xcb_connect(display.isEmpty() ? nullptr : display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(connection_->x) == 0) {
        connection_->root = xcb_setup_roots_iterator(xcb_get_setup(connection_->x)).data->root;
    }
}

OtherXClient::~OtherXClient()
{
    xcb_disconnect(connection_->x);
    delete connection_;
}

bool OtherXClient::isConnected() const
{
    return connection_->root != XCB_WINDOW_NONE;
}

std::vector<quint32> OtherXClient::stacking() const
{
    std::vector<quint32> windows;
    if (!isConnected()) {
        return windows;
    }
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection_->x, xcb_query_tree(connection_->x, connection_->root), nullptr);
    if (tree != nullptr) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        windows.assign(children, children + xcb_query_tree_children_length(tree));
        std::free(tree);
    }
    return windows;
}

bool OtherXClient::isAbove(quint32 upper, quint32 lower) const
{
    const std::vector<quint32> windows = stacking();
    const auto upperAt = std::find(windows.begin(), windows.end(), upper);
    const auto lowerAt = std::find(windows.begin(), windows.end(), lower);
    return upperAt != windows.end() && lowerAt != windows.end() && upperAt > lowerAt;
}

void OtherXClient::raise(quint32 window)
{
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_->x, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    roundTrip();
}

void OtherXClient::move(quint32 window, int x, int y)
{
    const std::uint32_t place[] = {std::uint32_t(x), std::uint32_t(y)};
    xcb_configure_window(connection_->x, window, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
    roundTrip();
}

quint32 OtherXClient::atom(const char* name) const
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_->x, xcb_intern_atom(connection_->x, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

void OtherXClient::askToClose(quint32 window)
{
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = window;
    request.type = atom("WM_PROTOCOLS");
    request.data.data32[0] = atom("WM_DELETE_WINDOW");
    request.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection_->x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&request));
    roundTrip();
}

std::optional<quint32> OtherXClient::shownWindowOf(qint64 pid) const
{
    xcb_connection_t* x = connection_->x;
    const xcb_atom_t pidAtom = atom("_NET_WM_PID");
    for (const quint32 window : stacking()) {
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr);
        const bool viewable = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        xcb_get_property_reply_t* property =
            viewable
                ? xcb_get_property_reply(x, xcb_get_property(x, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr)
                : nullptr;
        const bool its = property != nullptr && xcb_get_property_value_length(property) == 4
                         && *static_cast<const std::uint32_t*>(xcb_get_property_value(property)) == pid;
        std::free(property);
        if (its) {
            return window;
        }
    }
    return std::nullopt;
}

void OtherXClient::typeWithControl(quint32 window, quint32 keysym)
{
    xcb_connection_t* x = connection_->x;
    xcb_set_input_focus(x, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    const xcb_setup_t* setup = xcb_get_setup(x);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping =
        xcb_get_keyboard_mapping_reply(x, xcb_get_keyboard_mapping(x, setup->min_keycode, count), nullptr);
    xcb_keycode_t code = 0;
    if (mapping != nullptr) {
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
        const int perCode = std::max<int>(1, mapping->keysyms_per_keycode);
        for (int index = 0; code == 0 && index < xcb_get_keyboard_mapping_keysyms_length(mapping); ++index) {
            if (keysyms[index] == keysym) {
                code = xcb_keycode_t(setup->min_keycode + index / perCode);
            }
        }
        std::free(mapping);
    }
    for (const std::uint8_t type : {std::uint8_t(XCB_KEY_PRESS), std::uint8_t(XCB_KEY_RELEASE)}) {
        xcb_key_press_event_t event{};
        event.response_type = type;
        event.detail = code;
        event.time = XCB_CURRENT_TIME;
        event.root = connection_->root;
        event.event = window;
        event.child = XCB_WINDOW_NONE;
        event.state = XCB_MOD_MASK_CONTROL;
        event.same_screen = 1;
        xcb_send_event(x, 0, window, type == XCB_KEY_PRESS ? XCB_EVENT_MASK_KEY_PRESS : XCB_EVENT_MASK_KEY_RELEASE,
                       reinterpret_cast<const char*>(&event));
    }
    roundTrip();
}

void OtherXClient::roundTrip() const
{
    // Once it is answered, the server has done what was asked before it.
    std::free(xcb_get_input_focus_reply(connection_->x, xcb_get_input_focus(connection_->x), nullptr));
}

} // namespace pivra::test
