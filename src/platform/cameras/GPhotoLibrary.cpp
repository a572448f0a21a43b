#include "platform/cameras/GPhotoLibrary.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gphoto2/gphoto2.h>

#include <mutex>

namespace pivra::gphoto {
namespace {

// libgphoto2 opens and closes its drivers and port libraries through
// libltdl, whose lists of loaded modules are not safe to change from two
// threads at once, and each device has a thread of its own: every call that
// may load or unload a module holds this. Recursive, since the module lists
// below are loaded on first use, from inside such calls too. It also guards
// the port list, which a lookup of a path not listed ("usb:001,005",
// "disk:/some/folder") grows with an entry made from the generic one of its
// kind.
std::recursive_mutex modulesMutex;

// Loading reads every driver's module, so it is done once; afterwards the
// abilities are only read.
CameraAbilitiesList* abilities()
{
    static CameraAbilitiesList* const list = [] {
        const std::lock_guard lock(modulesMutex);
        CameraAbilitiesList* loaded = nullptr;
        gp_abilities_list_new(&loaded);
        GPContext* context = gp_context_new();
        gp_abilities_list_load(loaded, context);
        gp_context_unref(context);
        return loaded;
    }();
    return list;
}

GPPortInfoList* ports()
{
    static GPPortInfoList* const list = [] {
        const std::lock_guard lock(modulesMutex);
        GPPortInfoList* loaded = nullptr;
        gp_port_info_list_new(&loaded);
        gp_port_info_list_load(loaded);
        return loaded;
    }();
    return list;
}

} // namespace

PivraError error(int result)
{
    if (result == GP_ERROR_IO_USB_CLAIM) {
        return {QStringLiteral("Pivra.Camera"), result,
                QStringLiteral("Another program is using the device. Close it and connect the device again.")};
    }
    return {QStringLiteral("Pivra.Camera"), result, QString::fromUtf8(gp_result_as_string(result))};
}

std::optional<std::vector<DetectedCamera>> detectUsbCameras(GPContext* context)
{
    GPPortInfoList* present = nullptr;
    CameraList* list = nullptr;
    if (gp_port_info_list_new(&present) < GP_OK || gp_list_new(&list) < GP_OK) {
        gp_port_info_list_free(present);
        return std::nullopt;
    }
    std::optional<std::vector<DetectedCamera>> found;
    const std::lock_guard lock(modulesMutex);
    if (gp_port_info_list_load(present) >= GP_OK && gp_abilities_list_detect(abilities(), present, list, context) >= GP_OK) {
        found.emplace();
        for (int i = 0; i < gp_list_count(list); ++i) {
            const char* model = nullptr;
            const char* port = nullptr;
            gp_list_get_name(list, i, &model);
            gp_list_get_value(list, i, &port);
            const QString path = QString::fromUtf8(port);
            if (path.startsWith(QStringLiteral("usb:")) && path.size() > 4) {
                found->push_back({QString::fromUtf8(model), path});
            }
        }
    }
    gp_list_free(list);
    gp_port_info_list_free(present);
    return found;
}

QString usbSerial(const QString& port)
{
    static const QRegularExpression pattern(QStringLiteral("^usb:(\\d+),(\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(port);
    if (!match.hasMatch()) {
        return {};
    }
    const auto number = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : -1;
    };
    const QDir devices(QStringLiteral("/sys/bus/usb/devices"));
    for (const QString& entry : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString base = devices.filePath(entry) + u'/';
        if (number(base + QStringLiteral("busnum")) == match.captured(1).toInt() &&
            number(base + QStringLiteral("devnum")) == match.captured(2).toInt()) {
            QFile serial(base + QStringLiteral("serial"));
            return serial.open(QIODevice::ReadOnly) ? QString::fromUtf8(serial.readAll().trimmed()) : QString();
        }
    }
    return {};
}

Camera* openCamera(const QString& model, const QString& port, GPContext* context, int& result)
{
    CameraAbilities modelAbilities;
    result = gp_abilities_list_lookup_model(abilities(), model.toUtf8().constData());
    if (result < GP_OK || (result = gp_abilities_list_get_abilities(abilities(), result, &modelAbilities)) < GP_OK) {
        return nullptr;
    }
    Camera* camera = nullptr;
    if ((result = gp_camera_new(&camera)) < GP_OK) {
        return nullptr;
    }
    const std::lock_guard lock(modulesMutex);
    const auto setPort = [&] {
        GPPortInfo portInfo;
        int found = gp_port_info_list_lookup_path(ports(), port.toUtf8().constData());
        if (found < GP_OK || (found = gp_port_info_list_get_info(ports(), found, &portInfo)) < GP_OK) {
            return found;
        }
        return gp_camera_set_port_info(camera, portInfo);
    };
    if ((result = gp_camera_set_abilities(camera, modelAbilities)) < GP_OK || (result = setPort()) < GP_OK ||
        (result = gp_camera_init(camera, context)) < GP_OK) {
        gp_camera_unref(camera);
        return nullptr;
    }
    return camera;
}

void closeCamera(Camera* camera, GPContext* context)
{
    if (camera != nullptr) {
        const std::lock_guard lock(modulesMutex);
        gp_camera_exit(camera, context);
        gp_camera_unref(camera);
    }
}

} // namespace pivra::gphoto
