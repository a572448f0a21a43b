#pragma once

#include "platform/PivraError.h"

#include <QString>
#include <optional>
#include <vector>

typedef struct _Camera Camera;
typedef struct _GPContext GPContext;

// The parts of libgphoto2 shared by every device: the driver and port lists,
// loaded once per process, detection, and opening a camera.
namespace pivra::gphoto {

// An error of a libgphoto2 call as the device layer passes it on.
PivraError error(int result);

struct DetectedCamera {
    QString model;
    QString port; // "usb:BBB,DDD"
};

// The cameras attached over USB now; none when the bus could not be looked
// at, which says nothing of what is attached. The port list is read afresh on
// each call, since it holds one entry per USB device present.
std::optional<std::vector<DetectedCamera>> detectUsbCameras(GPContext* context);

// The serial number of the USB device at "usb:BBB,DDD", from sysfs; empty
// when there is none.
QString usbSerial(const QString& port);

// A camera of the driver `model` on `port`, initialised; null with the error
// in `result` when it could not be opened.
Camera* openCamera(const QString& model, const QString& port, GPContext* context, int& result);
void closeCamera(Camera* camera, GPContext* context);

} // namespace pivra::gphoto
