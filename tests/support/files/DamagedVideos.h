#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace pivra::test {

// A copy of a video as it reaches a player after its copying broke off or
// its data was wiped.
struct DamagedVideo {
    QString path;
    bool playsAPart = false; // its first pictures are whole and play
};

// Writes into `folder` an H.264 video with sound, `seconds` long, damaged
// three ways: cut to its first tenth, which loses its index at the end
// ("cut.mp4"); cut to its first tenth with its index ahead of the pictures,
// so that the pictures it holds play ("cut-index-first.mp4"); its pictures' and
// sound's bytes zeroed in a container left whole ("zeroed.mp4"). Empty when
// one cannot be written.
std::vector<DamagedVideo> makeDamagedVideos(const QString& folder, int seconds);

// `video`, an MP4 or MOV, with the length its movie and track headers state
// scaled by `factor` and its streams as they were, as some cameras and
// editors write them. Empty when a header is not of the first version.
QByteArray withStatedLength(QByteArray video, double factor);

} // namespace pivra::test
