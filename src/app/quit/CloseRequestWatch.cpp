#include "app/quit/CloseRequestWatch.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace pivra {
namespace {

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (reply == nullptr) {
        return XCB_ATOM_NONE;
    }
    const xcb_atom_t found = reply->atom;
    std::free(reply);
    return found;
}

} // namespace

CloseRequestWatch::CloseRequestWatch(QWidget& window, QObject* parent)
    : QObject(parent)
    , window_(&window)
{
    // The offscreen platform answers as X11 too, without a connection.
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return;
    }
    protocols_ = atom(connection, "WM_PROTOCOLS");
    deleteWindow_ = atom(connection, "WM_DELETE_WINDOW");
    qGuiApp->installNativeEventFilter(this);
}

CloseRequestWatch::~CloseRequestWatch()
{
    qGuiApp->removeNativeEventFilter(this);
}

bool CloseRequestWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !window_) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE) {
        return false;
    }
    const auto* request = static_cast<const xcb_client_message_event_t*>(message);
    if (request->format != 32 || request->type != protocols_ || request->data.data32[0] != deleteWindow_
        || request->window != window_->winId()) {
        return false;
    }
    Q_EMIT requested();
    return true;
}

} // namespace pivra
