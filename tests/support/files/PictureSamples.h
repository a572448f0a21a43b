#pragma once

#include <QByteArray>

extern "C" {
struct AVFrame;
}

namespace pivra::test {

// The samples of a decoded 8-bit 4:2:0 picture, plane by plane and row by
// row, without what pads each row: two pictures are the same exactly when
// these are.
QByteArray samplesOf(const AVFrame& frame);

} // namespace pivra::test
