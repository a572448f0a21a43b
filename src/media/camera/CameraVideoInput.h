#pragma once

#include "media/video/VideoInput.h"

#include <QString>

namespace pivra {

class CameraVideoStream;

// Opens a device video for FFmpeg through its stream, so poster frames and
// preview clips read it without a copy: every read FFmpeg makes becomes a
// request of the stream, answered in pieces from the device, and the reading
// thread waits for it, at most until the stream gives the device up (see
// CameraVideoStream::deviceAnswerLimit). So never on the GUI thread, where
// the stream's default reader is answered. `name` is the item's file name
// (its extension is a hint to the probe). The stream must outlive the input;
// invalidating it fails the reads still to come, and the decoding with them.
VideoInput openCameraVideoInput(CameraVideoStream& stream, const QString& name);

} // namespace pivra
