#pragma once

#include "platform/cameras/CameraBackend.h"
#include "platform/cameras/MovieIndex.h"

namespace pivra {

// Completes a device file's description from its bytes, read through `read`
// in ranges, as a folder scan would read the file itself: its pixel size as
// displayed, the orientation it records, the capture date it records and a
// video's duration. What cannot be found stays as it is.
//
// Only what a description needs is read, into a local copy of the file's
// length that holds those bytes at their places: the first 64 KiB (a JPEG's
// Exif block and frame header), more only when they do not hold the size; a
// HEIF image's boxes and Exif item wherever they lie; a movie's index where
// its format keeps it (an ISO file's "moov", an AVI's "idx1"), or for a
// stream without one (MPEG program and transport streams) its last bytes,
// whose time stamps end it. A duration that could only be guessed from the
// bit rate is left unknown: a wrong one is worse than none.
//
// False when the device did not give the bytes (the file is worth another
// try later); true when the file was read, whatever it held.
bool describeCameraFile(CameraFileInfo& file, const IsoByteReader& read);

} // namespace pivra
