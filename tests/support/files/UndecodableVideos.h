#pragma once

#include <QStringList>

namespace pivra::test {

// Writes into `folder` the files a video reader must refuse without crashing,
// none holding a video track that decodes: an audio-only MOV ("voice.mov"),
// an MP4 cut to its first third, which loses its index ("truncated.mp4"),
// 4 KiB of noise ("noise.mp4") and an empty file ("empty.mp4"). Answers their
// paths and one more that names no file ("missing.mp4"); an empty list when
// one cannot be written.
QStringList makeUndecodableVideos(const QString& folder);

} // namespace pivra::test
