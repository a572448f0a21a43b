#include "support/files/RepeatedRowsEncoder.h"

#include "media/formats/coding/HevcBits.h"
#include "support/files/HeifObjects.h"

#include <QByteArray>
#include <QList>
#include <QtEndian>
#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

#include <cstring>
#include <deque>
#include <memory>
#include <optional>

namespace pivra::test {
namespace {

// The side of libx265's smallest coding blocks: a picture's sides are
// multiples of it, so that libx265 pads nothing.
constexpr int smallestBlock = 8;
// libheif pads a picture to this height at least before libx265 codes it:
// the rows are coded as the top of the picture this high, a slice each.
constexpr int stripRows = 64;

// NAL unit types (H.265 table 7-1).
constexpr int firstIrap = 16;
constexpr int lastIrap = 23;
constexpr int lastSlice = 31;
constexpr int vpsType = 32;
constexpr int spsType = 33;
constexpr int ppsType = 34;

int typeOf(const QByteArray& nal)
{
    return hevcUnitType(nal);
}

// The NAL unit of `header` (its first two bytes) and `payload`.
QByteArray nalOf(const QByteArray& header, const QByteArray& payload)
{
    return header.left(2) + hevcEscaped(payload);
}

// Where a payload's stop bit is: its last bit set.
std::int64_t stopBitOf(const QByteArray& payload)
{
    for (qsizetype byte = payload.size() - 1; byte >= 0; --byte) {
        if (const uchar value = uchar(payload[byte]); value != 0) {
            return std::int64_t(byte) * 8 + 7 - qCountTrailingZeroBits(value);
        }
    }
    return -1;
}

// Writes a payload bit by bit, much of it copied from the payload it
// replaces.
class BitWriter {
public:
    void bit(std::uint32_t value)
    {
        if (bits_ % 8 == 0) {
            bytes_.append('\0');
        }
        if (value != 0) {
            const auto at = qsizetype(bits_ / 8);
            bytes_[at] = char(uchar(bytes_[at]) | 0x80 >> bits_ % 8);
        }
        ++bits_;
    }
    void put(std::uint32_t value, int count)
    {
        for (int shift = count - 1; shift >= 0; --shift) {
            bit(value >> shift & 1);
        }
    }
    void putGolomb(std::uint32_t value)
    {
        const std::uint64_t coded = std::uint64_t(value) + 1;
        int length = 0;
        while (coded >> (length + 1) != 0) {
            ++length;
        }
        put(0, length);
        put(std::uint32_t(coded), length + 1);
    }
    // The bits of `from` up to bit `until`; false when it ends before.
    bool copy(HevcBitReader& from, std::int64_t until)
    {
        while (from.position() < until) {
            const std::optional<std::uint32_t> value = from.bits(1);
            if (!value) {
                return false;
            }
            bit(*value);
        }
        return true;
    }
    // An Exp-Golomb number of `from`, copied; none when it ends before.
    std::optional<std::uint32_t> copyGolomb(HevcBitReader& from)
    {
        const std::optional<std::uint32_t> value = from.golomb();
        if (value) {
            putGolomb(*value);
        }
        return value;
    }
    // The stop bit, then zeros to the byte's end.
    void finish()
    {
        bit(1);
        while (bits_ % 8 != 0) {
            bit(0);
        }
    }
    std::int64_t bits() const { return bits_; }
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    std::int64_t bits_ = 0;
};

// A sequence parameter set stating another height, with the width it
// states and the side of its coding tree blocks.
struct ResizedSps {
    QByteArray nal;
    std::uint32_t width = 0;
    int side = 0;
};

// The sequence parameter set `sps` stating `height`; none where it is not
// as libx265 writes one picture of one layer, without a conformance window.
std::optional<ResizedSps> withHeight(const QByteArray& sps, int height)
{
    const QByteArray payload = hevcPayload(sps);
    HevcBitReader head(payload);
    const std::optional<HevcSequenceHead> read = readHevcSequenceHead(head);
    if (!read || read->extraSubLayers != 0) {
        return std::nullopt;
    }
    // The block sizes follow: bit depths, the order counter's length, one
    // layer's ordering, then the smallest block and the largest's step.
    const std::int64_t rest = head.position();
    if (!head.skipGolombs(3) || !head.bits(1) || !head.skipGolombs(3)) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> smallest = head.golomb();
    const std::optional<std::uint32_t> steps = head.golomb();
    if (!smallest || !steps || *smallest + 3 + *steps > 6) {
        return std::nullopt;
    }
    // Copied up to the width, the height written anew, the rest copied.
    const auto golombBits = [](std::uint32_t value) {
        int length = 0;
        while ((std::uint64_t(value) + 1) >> (length + 1) != 0) {
            ++length;
        }
        return 2 * length + 1;
    };
    HevcBitReader in(payload);
    BitWriter out;
    if (!out.copy(in, rest - 1 - golombBits(read->height) - golombBits(read->width)) || !out.copyGolomb(in)
        || !in.golomb()) {
        return std::nullopt;
    }
    out.putGolomb(std::uint32_t(height));
    if (in.bits(1) != 0u || in.position() != rest) { // no conformance window
        return std::nullopt;
    }
    out.bit(0);
    if (!out.copy(in, stopBitOf(payload))) {
        return std::nullopt;
    }
    out.finish();
    return ResizedSps{nalOf(sps, out.bytes()), read->width, 1 << (*smallest + 3 + *steps)};
}

// Whether the slices of the picture parameter set `pps` say whether they
// depend on the slice before; none where it is not understood.
std::optional<bool> dependentSlices(const QByteArray& pps)
{
    HevcBitReader in(hevcPayload(pps));
    // pps_pic_parameter_set_id, pps_seq_parameter_set_id
    const std::optional<std::uint32_t> dependent = in.skipGolombs(2) ? in.bits(1) : std::nullopt;
    return dependent ? std::optional(*dependent == 1) : std::nullopt;
}

// The picture parameter set `pps` with its slices saying whether they
// depend on the slice before (always no, here).
QByteArray withDependentSlices(const QByteArray& pps)
{
    const QByteArray payload = hevcPayload(pps);
    HevcBitReader in(payload);
    BitWriter out;
    out.copyGolomb(in);
    out.copyGolomb(in);
    in.bits(1);
    out.bit(1);
    out.copy(in, stopBitOf(payload));
    out.finish();
    return nalOf(pps, out.bytes());
}

// Where the slice of a whole picture would be: `slice`, a picture's first,
// as the slice from block `address` on. Its header grows by its address
// (and the flag saying it does not depend on the slice before): whole
// bytes, so that what follows keeps its place in the byte.
QByteArray sliceAt(const QByteArray& slice, std::uint32_t address, int addressBits, bool dependentFlag)
{
    const QByteArray payload = hevcPayload(slice);
    HevcBitReader in(payload);
    BitWriter out;
    in.bits(1);
    out.bit(0); // first_slice_segment_in_pic_flag
    if (typeOf(slice) >= firstIrap && typeOf(slice) <= lastIrap) {
        out.copy(in, in.position() + 1); // no_output_of_prior_pics_flag
    }
    out.copyGolomb(in); // slice_pic_parameter_set_id
    if (dependentFlag) {
        out.bit(0);
    }
    out.put(address, addressBits);
    Q_ASSERT((out.bits() - in.position()) % 8 == 0);
    out.copy(in, std::int64_t(payload.size()) * 8);
    return nalOf(slice, out.bytes());
}

// One picture's NAL units as libx265 codes it through libheif: its
// parameter sets and the slice of its first row of blocks.
struct CodedPicture {
    QByteArray vps;
    QByteArray sps;
    QByteArray pps;
    QByteArray slice;
};

heif_error ok()
{
    return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

heif_error failure(const char* why)
{
    return {heif_error_Encoder_plugin_error, heif_suberror_Unspecified, why};
}

using Context = HeifContextPtr;
using Encoder = HeifEncoderPtr;
using Image = HeifImagePtr;

// The top `rows` rows of `image`, with its planes as they are.
Image topRows(const heif_image* image, int rows)
{
    const int height = heif_image_get_height(image, heif_channel_Y);
    heif_image* raw = nullptr;
    if (heif_image_create(heif_image_get_width(image, heif_channel_Y), rows, heif_image_get_colorspace(image),
                          heif_image_get_chroma_format(image), &raw)
            .code
        != heif_error_Ok) {
        return {};
    }
    Image top(raw);
    for (const heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr}) {
        if (!heif_image_has_channel(image, channel)) {
            continue;
        }
        const int planeRows = rows * heif_image_get_height(image, channel) / height;
        if (heif_image_add_plane(raw, channel, heif_image_get_width(image, channel), planeRows,
                                 heif_image_get_bits_per_pixel_range(image, channel))
                .code
            != heif_error_Ok) {
            return {};
        }
        int fromStride = 0;
        int toStride = 0;
        const uint8_t* from = heif_image_get_plane_readonly(image, channel, &fromStride);
        uint8_t* to = heif_image_get_plane(raw, channel, &toStride);
        for (int row = 0; row < planeRows; ++row) {
            std::memcpy(to + qsizetype(row) * toStride, from + qsizetype(row) * fromStride,
                        std::size_t(std::min(fromStride, toStride)));
        }
    }
    return top;
}

// The top of `image` coded by libx265 as a picture of its own, in coding
// tree blocks of `side`, its first row's slice.
std::optional<CodedPicture> codedTop(const heif_image* image, int side, int quality)
{
    const Image top = topRows(image, stripRows);
    Context context(heif_context_alloc());
    heif_encoder* raw = nullptr;
    if (!top || !context
        || heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &raw).code != heif_error_Ok) {
        return std::nullopt;
    }
    const Encoder encoder(raw);
    heif_encoder_set_lossy_quality(raw, quality);
    heif_encoder_set_parameter_string(raw, "preset", "ultrafast");
    heif_encoder_set_parameter_string(raw, "x265:ctu", QByteArray::number(side).constData());
    heif_encoder_set_parameter_string(raw, "x265:min-cu-size", QByteArray::number(smallestBlock).constData());
    heif_encoder_set_parameter_string(raw, "x265:slices", QByteArray::number(stripRows / side).constData());
    heif_image_handle* handle = nullptr;
    if (heif_context_encode_image(context.get(), top.get(), raw, nullptr, &handle).code != heif_error_Ok) {
        return std::nullopt;
    }
    heif_image_handle_release(handle);
    QByteArray file;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* to) {
                           static_cast<QByteArray*>(to)->append(static_cast<const char*>(data), qsizetype(size));
                           return ok();
                       }};
    if (heif_context_write(context.get(), &writer, &file).code != heif_error_Ok) {
        return std::nullopt;
    }
    // The parameter sets from the configuration box (22 bytes, then its
    // arrays), the slice from the media data: the file's one item.
    QList<QByteArray> nals;
    const auto read = [&file](qsizetype at, int bytes) {
        return at + bytes <= file.size() ? (bytes == 2 ? qFromBigEndian<quint16>(file.constData() + at)
                                                       : qFromBigEndian<quint32>(file.constData() + at))
                                         : 0u;
    };
    const qsizetype configuration = file.indexOf("hvcC") + 4;
    qsizetype at = configuration + 23;
    for (int array = 0; configuration >= 4 && array < uchar(file.at(configuration + 22)); ++array) {
        const unsigned count = read(at + 1, 2);
        at += 3;
        for (unsigned unit = 0; unit < count; ++unit) {
            const unsigned length = read(at, 2);
            nals.append(file.mid(at + 2, length));
            at += 2 + length;
        }
    }
    const qsizetype mdat = file.indexOf("mdat");
    const qsizetype end = mdat >= 4 ? mdat - 4 + qsizetype(read(mdat - 4, 4)) : 0;
    for (at = mdat + 4; mdat >= 4 && at + 4 <= end;) {
        const unsigned length = read(at, 4);
        nals.append(file.mid(at + 4, length));
        at += 4 + length;
    }
    CodedPicture picture;
    int slices = 0;
    for (const QByteArray& nal : nals) {
        switch (const int type = typeOf(nal)) {
        case vpsType:
            picture.vps = nal;
            break;
        case spsType:
            picture.sps = nal;
            break;
        case ppsType:
            picture.pps = nal;
            break;
        default: // supplemental information, which would not hold for the whole picture, is left out
            if (type >= 0 && type <= lastSlice && slices++ == 0) {
                picture.slice = nal;
            }
        }
    }
    if (slices != stripRows / side || picture.vps.isEmpty() || picture.sps.isEmpty() || picture.pps.isEmpty()) {
        return std::nullopt;
    }
    return picture;
}

struct RowsEncoder {
    int quality = 50;
    std::deque<QByteArray> nals;
    QByteArray handedOut;
};

RowsEncoder& rowsEncoder(void* encoder)
{
    return *static_cast<RowsEncoder*>(encoder);
}

// The picture's NAL units: libx265's parameter sets, the sequence's with
// the picture's height, and a slice for each row of blocks. A slice's
// address takes as many bits as the picture has blocks need: a block size
// is taken for which they fill whole bytes, with the flag that says a slice
// does not depend on the one before, or without it.
heif_error encodeImage(void* encoder, const heif_image* image, heif_image_input_class)
{
    RowsEncoder& rows = rowsEncoder(encoder);
    rows.nals.clear();
    const int width = heif_image_get_width(image, heif_channel_Y);
    const int height = heif_image_get_height(image, heif_channel_Y);
    if (width % smallestBlock != 0 || height % smallestBlock != 0) {
        return failure("not whole blocks");
    }
    for (const int side : {32, 16, 64}) {
        const int columns = (width + side - 1) / side;
        const int blockRows = (height + side - 1) / side;
        int addressBits = 0;
        while ((1 << addressBits) < columns * blockRows) {
            ++addressBits;
        }
        const bool dependentFlag = addressBits % 8 == 7;
        if (height < stripRows || height % side != 0 || (addressBits % 8 != 0 && !dependentFlag)) {
            continue;
        }
        const std::optional<CodedPicture> top = codedTop(image, side, rows.quality);
        if (!top) {
            return failure("a row not coded");
        }
        const std::optional<ResizedSps> sps = withHeight(top->sps, height);
        if (!sps || sps->width != unsigned(width) || sps->side != side || dependentSlices(top->pps).value_or(true)) {
            return failure("parameter sets not understood");
        }
        rows.nals = {top->vps, sps->nal, dependentFlag ? withDependentSlices(top->pps) : top->pps, top->slice};
        for (int row = 1; row < blockRows; ++row) {
            rows.nals.push_back(sliceAt(top->slice, unsigned(row * columns), addressBits, dependentFlag));
        }
        return ok();
    }
    return failure("no block size whose addresses fill whole bytes");
}

heif_error compressedData(void* encoder, uint8_t** data, int* size, heif_encoded_data_type* type)
{
    RowsEncoder& rows = rowsEncoder(encoder);
    if (rows.nals.empty()) {
        *data = nullptr;
        *size = 0;
        return ok();
    }
    rows.handedOut = rows.nals.front();
    rows.nals.pop_front();
    *data = reinterpret_cast<uint8_t*>(rows.handedOut.data());
    *size = int(rows.handedOut.size());
    if (type) { // libheif tells the kind by the unit's own type, and asks for none
        *type = typeOf(rows.handedOut) > lastSlice ? heif_encoded_data_type_HEVC_header
                                                   : heif_encoded_data_type_HEVC_image;
    }
    return ok();
}

const heif_encoder_plugin& plugin()
{
    static const heif_encoder_parameter* noParameters[] = {nullptr};
    static const heif_encoder_plugin plugin{
        .plugin_api_version = 1,
        .compression_format = heif_compression_HEVC,
        .id_name = "pivra-repeated-rows",
        .priority = 1, // below libx265's, which stays the one chosen by format
        .supports_lossy_compression = 1,
        .supports_lossless_compression = 0,
        .get_plugin_name = [] { return "Repeated rows (tests)"; },
        .init_plugin = nullptr,
        .cleanup_plugin = nullptr,
        .new_encoder =
            [](void** encoder) {
                *encoder = new RowsEncoder;
                return ok();
            },
        .free_encoder = [](void* encoder) { delete static_cast<RowsEncoder*>(encoder); },
        .set_parameter_quality =
            [](void* encoder, int quality) {
                rowsEncoder(encoder).quality = quality;
                return ok();
            },
        .get_parameter_quality =
            [](void* encoder, int* quality) {
                *quality = rowsEncoder(encoder).quality;
                return ok();
            },
        .set_parameter_lossless = [](void*, int lossless) { return lossless ? failure("lossy only") : ok(); },
        .get_parameter_lossless =
            [](void*, int* lossless) {
                *lossless = 0;
                return ok();
            },
        .set_parameter_logging_level = [](void*, int) { return ok(); },
        .get_parameter_logging_level =
            [](void*, int* level) {
                *level = 0;
                return ok();
            },
        .list_parameters = [](void*) { return noParameters; },
        .set_parameter_integer = [](void*, const char*, int) { return failure("no such parameter"); },
        .get_parameter_integer = [](void*, const char*, int*) { return failure("no such parameter"); },
        .set_parameter_boolean = [](void*, const char*, int) { return failure("no such parameter"); },
        .get_parameter_boolean = [](void*, const char*, int*) { return failure("no such parameter"); },
        .set_parameter_string = [](void*, const char*, const char*) { return failure("no such parameter"); },
        .get_parameter_string = [](void*, const char*, char*, int) { return failure("no such parameter"); },
        .query_input_colorspace =
            [](heif_colorspace* colorspace, heif_chroma* chroma) {
                if (*colorspace == heif_colorspace_monochrome) {
                    *chroma = heif_chroma_monochrome;
                } else {
                    *colorspace = heif_colorspace_YCbCr;
                    *chroma = heif_chroma_420;
                }
            },
        .encode_image = &encodeImage,
        .get_compressed_data = &compressedData,
        .query_input_colorspace2 = nullptr,
        .query_encoded_size = nullptr,
    };
    return plugin;
}

// Reads and writes big-endian numbers of 0 to 8 bytes in place.
quint64 numberAt(const QByteArray& bytes, qsizetype at, int size)
{
    quint64 value = 0;
    for (int index = 0; index < size; ++index) {
        value = value << 8 | uchar(bytes[at + index]);
    }
    return value;
}

void putNumber(QByteArray& bytes, qsizetype at, int size, quint64 value)
{
    for (int index = size - 1; index >= 0; --index, value >>= 8) {
        bytes[at + index] = char(value & 0xFF);
    }
}

} // namespace

QByteArray withJoinedExtents(const QByteArray& file)
{
    const qsizetype meta = file.indexOf("meta") - 4;
    const qsizetype iloc = file.indexOf("iloc") - 4;
    if (meta < 0 || iloc < meta || iloc + 16 > file.size()) {
        return file;
    }
    const int version = uchar(file[iloc + 8]);
    const int offsetSize = uchar(file[iloc + 12]) >> 4;
    const int lengthSize = uchar(file[iloc + 12]) & 0xF;
    const int baseSize = uchar(file[iloc + 13]) >> 4;
    const int indexSize = version > 0 ? uchar(file[iloc + 13]) & 0xF : 0;
    const int idSize = version < 2 ? 2 : 4;
    QByteArray box = file.mid(iloc, qsizetype(numberAt(file, iloc, 4)));
    qsizetype at = 14;
    const quint64 items = numberAt(box, at, idSize);
    at += idSize;
    // Each item's extents of the file's own bytes, one after the other,
    // become one; where they lie moves up by what the box loses.
    // Where the offsets into the file lie, and their sizes: an item's base
    // offset when it has one, else its extents'.
    QList<std::pair<qsizetype, int>> fileOffsets;
    for (quint64 item = 0; item < items; ++item) {
        at += idSize;
        const bool inFile = version == 0 || (numberAt(box, at, 2) & 0xF) == 0;
        at += version > 0 ? 4 : 2;
        if (inFile && baseSize > 0) {
            fileOffsets.append({at, baseSize});
        }
        at += baseSize;
        const qsizetype countAt = at;
        const int count = int(numberAt(box, at, 2));
        at += 2;
        const int extentSize = indexSize + offsetSize + lengthSize;
        bool joined = count > 1 && indexSize == 0 && inFile;
        for (int extent = 1; joined && extent < count; ++extent) {
            const qsizetype previous = at + (extent - 1) * extentSize;
            joined = numberAt(box, previous, offsetSize) + numberAt(box, previous + offsetSize, lengthSize)
                == numberAt(box, previous + extentSize, offsetSize);
        }
        if (joined) {
            quint64 length = 0;
            for (int extent = 0; extent < count; ++extent) {
                length += numberAt(box, at + extent * extentSize + offsetSize, lengthSize);
            }
            putNumber(box, countAt, 2, 1);
            putNumber(box, at + offsetSize, lengthSize, length);
            box.remove(at + extentSize, (count - 1) * extentSize);
        }
        for (int extent = 0; inFile && baseSize == 0 && extent < (joined ? 1 : count); ++extent) {
            fileOffsets.append({at + extent * extentSize + indexSize, offsetSize});
        }
        at += (joined ? 1 : count) * extentSize;
    }
    const qsizetype lost = qsizetype(numberAt(file, iloc, 4)) - box.size();
    for (const auto& [offset, size] : fileOffsets) {
        putNumber(box, offset, size, numberAt(box, offset, size) - quint64(lost));
    }
    putNumber(box, 0, 4, quint64(box.size()));
    QByteArray joined = file;
    joined.replace(iloc, box.size() + lost, box);
    putNumber(joined, meta, 4, numberAt(file, meta, 4) - quint64(lost));
    return joined;
}

heif_encoder* repeatedRowsEncoder(heif_context* context, int quality)
{
    static const bool registered = heif_register_encoder_plugin(&plugin()).code == heif_error_Ok;
    const heif_encoder_descriptor* descriptor = nullptr;
    heif_encoder* encoder = nullptr;
    if (!registered || heif_get_encoder_descriptors(heif_compression_HEVC, plugin().id_name, &descriptor, 1) != 1
        || heif_context_get_encoder(context, descriptor, &encoder).code != heif_error_Ok) {
        return nullptr;
    }
    heif_encoder_set_lossy_quality(encoder, quality);
    return encoder;
}

} // namespace pivra::test
