#include "support/desktop/OtherXClient.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace pivra::test {

struct OtherXClient::Connection {
    xcb_connection_t* x = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
};

OtherXClient::OtherXClient() : connection_(new Connection)
{
    connection_->x = xcb_connect(nullptr, nullptr);
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

void OtherXClient::askToClose(quint32 window)
{
    const auto atom = [this](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_->x, xcb_intern_atom(connection_->x, 0, std::uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
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

void OtherXClient::roundTrip()
{
    // Once it is answered, the server has done what was asked before it.
    std::free(xcb_get_input_focus_reply(connection_->x, xcb_get_input_focus(connection_->x), nullptr));
}

} // namespace pivra::test
