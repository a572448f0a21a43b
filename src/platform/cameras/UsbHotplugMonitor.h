#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace pivra {

// Tells the GUI thread when a USB device may have arrived or left, so that
// devices are looked for only then and the program sleeps in between. Where
// udev runs, its monitor of the "usb" subsystem says so as it happens. Where
// it does not (a container, a system without udev), nothing announces USB
// devices: the monitor then lists the USB device folders every few seconds,
// which costs next to nothing, and says so when the list changed.
class UsbHotplugMonitor {
public:
    struct Options {
        // udev's control socket: where it does not exist, udev does not run.
        QString udevControl = QStringLiteral("/run/udev/control");
        // What polling lists: the device nodes, named by bus and device
        // number (which a device plugged in again changes), and sysfs's
        // devices, for systems whose nodes are not visible.
        QStringList deviceFolders = {QStringLiteral("/dev/bus/usb"), QStringLiteral("/sys/bus/usb/devices")};
        int pollIntervalMs = 5000;
    };

    // `changed` runs on the constructing thread (the GUI thread): once per
    // burst of udev events, or when polling finds the list changed.
    UsbHotplugMonitor(Options options, std::function<void()> changed);
    ~UsbHotplugMonitor();

    UsbHotplugMonitor(const UsbHotplugMonitor&) = delete;
    UsbHotplugMonitor& operator=(const UsbHotplugMonitor&) = delete;

    bool watchesUdev() const { return notifier_ != nullptr; }
    bool polls() const { return pollTimer_.isActive(); }

private:
    bool watchUdev(const QString& control);
    void receive();
    void poll();

    const std::function<void()> changed_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    const QStringList deviceFolders_;
    QStringList devices_; // what polling listed last
    QTimer pollTimer_;
};

} // namespace pivra
