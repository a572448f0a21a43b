#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace pivra {

// Reads the bits of a NAL unit's payload, its emulation-prevention bytes
// taken out; reading past the end fails rather than giving zeros.
class HevcBitReader {
public:
    explicit HevcBitReader(QByteArray payload) : bytes_(std::move(payload)) {}

    std::optional<std::uint32_t> bits(int count);
    // Exp-Golomb, unsigned and signed.
    std::optional<std::uint32_t> golomb();
    std::optional<std::int32_t> signedGolomb();
    // Signed ones too: a code's length does not depend on its sign.
    bool skipGolombs(int count);

    std::int64_t position() const { return position_; }
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    std::int64_t position_ = 0;
};

// The payload of a NAL unit after its two-byte header, with every 0x03 that
// follows two zero bytes removed.
QByteArray hevcPayload(QByteArrayView unit);
// Where the payload's byte `payloadBytes` lies in `unit`, counting its
// emulation-prevention bytes and header; nothing past its end.
std::optional<qsizetype> hevcUnitOffset(QByteArrayView unit, qsizetype payloadBytes);
// `payload` with an emulation-prevention byte wherever two zero bytes are
// followed by a byte up to 3, as a NAL unit carries it.
QByteArray hevcEscaped(QByteArrayView payload);

// profile_tier_level() of a parameter set with `extraSubLayers` sub-layers
// beyond the first, skipped.
bool skipHevcProfileTierLevel(HevcBitReader& reader, std::uint32_t extraSubLayers);
// scaling_list_data() of a parameter set, skipped.
bool skipHevcScalingLists(HevcBitReader& reader);

// A sequence parameter set up to its conformance window, read by
// readHevcSequenceHead.
struct HevcSequenceHead {
    std::uint32_t extraSubLayers = 0;
    std::uint32_t id = 0;
    std::uint32_t chromaFormat = 0;
    bool separateColourPlanes = false;
    std::uint32_t width = 0; // luma samples, coded
    std::uint32_t height = 0;
    std::uint32_t window[4] = {}; // left, right, top, bottom, in chroma samples
};
// Reads a sequence parameter set's payload from its start to its
// conformance window, leaving `reader` after it; nothing when it ends
// before or states no picture.
std::optional<HevcSequenceHead> readHevcSequenceHead(HevcBitReader& reader);

// The NAL unit type of `unit` (its two-byte header first); -1 when too short.
int hevcUnitType(QByteArrayView unit);

} // namespace pivra
