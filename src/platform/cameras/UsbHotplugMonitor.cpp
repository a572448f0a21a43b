#include "platform/cameras/UsbHotplugMonitor.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSocketNotifier>

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace pivra {
namespace {

QStringList listDevices(const QStringList& folders)
{
    QStringList found;
    for (const QString& folder : folders) {
        QDirIterator entries(folder, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
        while (entries.hasNext()) {
            found << entries.next();
        }
    }
    found.sort();
    return found;
}

} // namespace

UsbHotplugMonitor::UsbHotplugMonitor(Options options, std::function<void()> changed)
    : changed_(std::move(changed)), deviceFolders_(std::move(options.deviceFolders))
{
    if (watchUdev(options.udevControl)) {
        return;
    }
    devices_ = listDevices(deviceFolders_);
    pollTimer_.setInterval(options.pollIntervalMs);
    QObject::connect(&pollTimer_, &QTimer::timeout, [this] { poll(); });
    pollTimer_.start();
}

UsbHotplugMonitor::~UsbHotplugMonitor()
{
    notifier_.reset(); // unregistered before its descriptor goes
    udev_monitor_unref(monitor_);
    udev_unref(udev_);
}

// Listens to udev's own events rather than the kernel's: udev sends them once
// its rules have run, so a device announced here already carries the
// permissions that let libgphoto2 open it.
bool UsbHotplugMonitor::watchUdev(const QString& control)
{
    if (!QFile::exists(control) || (udev_ = udev_new()) == nullptr) {
        return false;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    // Whole devices only: each of a device's interfaces would announce it again.
    if (monitor_ == nullptr || udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device") < 0 ||
        udev_monitor_enable_receiving(monitor_) < 0) {
        monitor_ = udev_monitor_unref(monitor_);
        udev_ = udev_unref(udev_);
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { receive(); });
    return true;
}

// Takes every event that has arrived, so that one plug-in, which may bring a
// hub and the devices behind it, is one change.
void UsbHotplugMonitor::receive()
{
    bool arrivedOrLeft = false;
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        // Binding a driver and attribute changes leave the set of devices as it was.
        arrivedOrLeft = arrivedOrLeft || (action != nullptr && (std::strcmp(action, "add") == 0 ||
                                                                std::strcmp(action, "remove") == 0));
        udev_device_unref(device);
    }
    // A burst larger than the socket's buffer loses events, any of which may
    // have been an arrival.
    if (arrivedOrLeft || errno == ENOBUFS) {
        changed_();
    }
}

void UsbHotplugMonitor::poll()
{
    QStringList devices = listDevices(deviceFolders_);
    if (devices != devices_) {
        devices_ = std::move(devices);
        changed_();
    }
}

} // namespace pivra
