#include "media/thumbnails/MediaKey.h"

#include "media/MediaFile.h"
#include "platform/folders/FileNameText.h"

#include <openssl/evp.h>

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <memory>
#include <set>
#include <vector>

namespace pivra {
namespace {

constexpr std::size_t photoChunkBytes = 1 << 20; // photos are read whole, 1 MiB at a time
constexpr std::int64_t videoSampleBytes = 65536;  // each of the three video samples
constexpr std::int64_t halfVideoSample = videoSampleBytes / 2;

struct DigestDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

bool feed(EVP_MD_CTX* digest, const void* bytes, std::size_t size)
{
    return EVP_DigestUpdate(digest, bytes, size) == 1;
}

bool feedText(EVP_MD_CTX* digest, const QString& text)
{
    const QByteArray bytes = fileNameBytes(text);
    return feed(digest, bytes.constData(), std::size_t(bytes.size()));
}

// The whole file as it was when opened: a file that grows meanwhile, or a
// "regular" file that never ends, is read no further.
bool feedWholeFile(EVP_MD_CTX* digest, const MediaFile& file)
{
    ::posix_fadvise(file.descriptor(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<std::byte> chunk(photoChunkBytes);
    for (std::int64_t offset = 0;;) {
        const std::int64_t got = file.read(offset, chunk.data(), std::int64_t(chunk.size()));
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!feed(digest, chunk.data(), std::size_t(got))) {
            return false;
        }
        offset += got;
    }
}

// Start, middle and end of the file; a short file's offsets coincide and are
// hashed once. The set also gives the ascending order.
std::set<std::int64_t> videoSampleOffsets(std::int64_t size)
{
    const std::int64_t nonNegative = std::max<std::int64_t>(size, 0);
    return {0, std::max(nonNegative / 2, halfVideoSample) - halfVideoSample,
            std::max(size, videoSampleBytes) - videoSampleBytes};
}

bool feedVideoSamples(EVP_MD_CTX* digest, const MediaFile& file, std::int64_t size)
{
    std::vector<std::byte> sample(static_cast<std::size_t>(videoSampleBytes));
    for (const std::int64_t offset : videoSampleOffsets(size)) {
        if (!feedText(digest, QString::number(offset) + QLatin1Char(':'))) {
            return false;
        }
        const std::int64_t got = file.read(offset, sample.data(), videoSampleBytes);
        if (got < 0 || !feed(digest, sample.data(), std::size_t(got))) {
            return false;
        }
    }
    return true;
}

QString hexOf(const unsigned char* bytes, unsigned int size)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), int(size)).toHex());
}

} // namespace

std::optional<QString> contentKey(const MediaItem& item)
{
    const std::optional<MediaFile> file = MediaFile::open(item.path());
    if (!file) {
        return std::nullopt;
    }
    const Digest digest(EVP_MD_CTX_new());
    if (!digest || EVP_DigestInit_ex(digest.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    const QString header = QStringLiteral("pivra-v2:%1:%2:").arg(rawValue(item.kind())).arg(item.fileSize());
    if (!feedText(digest.get(), header)) {
        return std::nullopt;
    }
    const bool fed = item.kind() == MediaKind::video ? feedVideoSamples(digest.get(), *file, item.fileSize())
                                                   : feedWholeFile(digest.get(), *file);
    if (!fed) {
        return std::nullopt;
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> value{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(digest.get(), value.data(), &length) != 1) {
        return std::nullopt;
    }
    return hexOf(value.data(), length);
}

bool isValidKey(QStringView text)
{
    if (text.size() != 64) {
        return false;
    }
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    });
}

QString fannedOutFile(const QString& directory, const QString& name, QLatin1StringView suffix)
{
    return directory + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name + suffix;
}

QString digestText(const QString& text)
{
    // Two paths that differ only in bytes that are not UTF-8 get two digests.
    const QByteArray bytes = fileNameBytes(text);
    std::array<unsigned char, EVP_MAX_MD_SIZE> value{};
    unsigned int length = 0;
    EVP_Digest(bytes.constData(), std::size_t(bytes.size()), value.data(), &length, EVP_sha256(), nullptr);
    return hexOf(value.data(), length);
}

QString timeText(Timestamp time)
{
    // Plain decimals for every date a file can carry; exponent form only far
    // outside them, where "1e+16" and "1e-05" are the shortest exact forms.
    const double magnitude = std::fabs(time);
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    std::array<char, 64> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), time,
                                            plain ? std::chars_format::fixed : std::chars_format::scientific);
    QString text = QString::fromLatin1(buffer.data(), int(end - buffer.data()));
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) && std::isfinite(time)) {
        text += QStringLiteral(".0");
    }
    return text;
}

} // namespace pivra
