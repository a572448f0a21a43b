#include "platform/folders/FileNameText.h"

#include <QStringEncoder>

#include <algorithm>
#include <array>

#include <sys/stat.h>
#include <unistd.h>

namespace pivra {
namespace {

constexpr char16_t firstEscape = 0xDC80; // stands for the byte 0x80
constexpr char16_t lastEscape = 0xDCFF;  // and this one for 0xFF

bool isEscapeAt(QStringView text, qsizetype at)
{
    const char16_t unit = text[at].unicode();
    // A low surrogate after a high one is half of a character, not a byte.
    return unit >= firstEscape && unit <= lastEscape && (at == 0 || !text[at - 1].isHighSurrogate());
}

// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there
// does not start one: overlong forms, surrogates and values past U+10FFFF
// are not valid, as in Unicode's table of well-formed sequences.
qsizetype sequenceLength(QByteArrayView bytes, qsizetype at)
{
    const auto byte = [&bytes](qsizetype index) { return static_cast<unsigned char>(bytes[index]); };
    const unsigned char lead = byte(at);
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > bytes.size()) {
        return 0;
    }
    if (byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (qsizetype next = at + 2; next < at + length; ++next) {
        if (byte(next) < 0x80 || byte(next) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// What Windows-1252 puts in 0x80-0x9F; the five bytes it leaves undefined
// read as U+FFFD.
constexpr std::array<char16_t, 32> windows1252High{
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

} // namespace

QString fileNameText(QByteArrayView bytes)
{
    if (bytes.isValidUtf8()) {
        return QString::fromUtf8(bytes);
    }
    QString text;
    text.reserve(bytes.size());
    qsizetype runStart = 0;
    for (qsizetype at = 0; at < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80) {
            ++at;
            continue;
        }
        if (const qsizetype length = sequenceLength(bytes, at); length != 0) {
            at += length;
            continue;
        }
        text += QString::fromUtf8(bytes.sliced(runStart, at - runStart));
        text += QChar(char16_t(0xDC00 + byte));
        runStart = ++at;
    }
    text += QString::fromUtf8(bytes.sliced(runStart));
    return text;
}

bool holdsRawBytes(QStringView text)
{
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (isEscapeAt(text, at)) {
            return true;
        }
    }
    return false;
}

QByteArray fileNameBytes(QStringView text)
{
    if (!holdsRawBytes(text)) {
        return text.toUtf8();
    }
    QByteArray bytes;
    bytes.reserve(text.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (isEscapeAt(text, at)) {
            bytes += text.sliced(runStart, at - runStart).toUtf8();
            bytes += static_cast<char>(text[at].unicode() - 0xDC00);
            runStart = at + 1;
        }
    }
    bytes += text.sliced(runStart).toUtf8();
    return bytes;
}

char* writeFileNameBytes(char* out, QStringView text)
{
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    char* end = encoder.appendToBuffer(out, text);
    if (!encoder.hasError()) {
        return end;
    }
    const QByteArray bytes = fileNameBytes(text); // a surrogate alone: a raw byte, or none at all
    return std::copy(bytes.begin(), bytes.end(), out);
}

QString readableFileText(QStringView text)
{
    QString readable = text.toString();
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (!isEscapeAt(text, at)) {
            continue;
        }
        const char16_t byte = text[at].unicode() - 0xDC00;
        readable[at] = QChar(byte < 0xA0 ? windows1252High[byte - 0x80] : byte);
    }
    return readable;
}

QUrl fileUrl(const QString& path)
{
    if (!holdsRawBytes(path)) {
        return QUrl::fromLocalFile(path);
    }
    // QUrl keeps a percent-encoded byte that is not UTF-8 as it is given.
    return QUrl::fromEncoded("file://" + fileNameBytes(path).toPercentEncoding("/"), QUrl::StrictMode);
}

QString pathOfFileUrl(const QUrl& url)
{
    if (!url.isLocalFile()) {
        return {};
    }
    return fileNameText(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

bool pathExists(const QString& path)
{
    struct stat seen {};
    return ::stat(fileNameBytes(path).constData(), &seen) == 0;
}

bool isReadableFile(const QString& path)
{
    const QByteArray bytes = fileNameBytes(path);
    struct stat seen {};
    return ::stat(bytes.constData(), &seen) == 0 && S_ISREG(seen.st_mode) && ::access(bytes.constData(), R_OK) == 0;
}

} // namespace pivra
