#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>

class QWidget;

namespace pivra {

// Tells of every request to close the library window that the X server
// passes on (the window manager's close button, a desktop's "close window"
// or any other program asking), before Qt sees it. Qt drops such a request
// for a window that a modal dialog blocks, as the preferences or an alert
// do, so the window stayed and the program ran on. Does nothing on a
// platform other than X11.
class CloseRequestWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit CloseRequestWatch(QWidget& window, QObject* parent = nullptr);
    ~CloseRequestWatch() override;

    CloseRequestWatch(const CloseRequestWatch&) = delete;
    CloseRequestWatch& operator=(const CloseRequestWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    // The request itself goes no further.
    void requested();

private:
    QPointer<QWidget> window_;
    quint32 protocols_ = 0;
    quint32 deleteWindow_ = 0;
};

} // namespace pivra
