#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QUrl>

namespace pivra {

// File names are bytes to the kernel, and not all of them are UTF-8: a disk
// written by an older system names its files in Latin-1 or a Windows code
// page. Qt reads every name as UTF-8 and turns what it cannot read into
// U+FFFD, after which the file can neither be told from its neighbours nor
// opened again. Paths therefore cross into text here and back out again.
//
// Valid UTF-8 reads as itself, so a path stored before these functions
// existed means what it meant. Each byte that is not part of valid UTF-8
// becomes the lone low surrogate U+DC80..U+DCFF (the escape Python and
// others use), which no valid UTF-8 decodes to; such text therefore names
// one sequence of bytes and turns back into exactly those. The text is for
// keeping and comparing, not for showing: readableFileText() is.

// `bytes` (a name or a path) as text that keeps every byte.
QString fileNameText(QByteArrayView bytes);

// The bytes that fileNameText() read `text` from: what the kernel is given.
// A surrogate no byte stands for (text from elsewhere that is not valid
// UTF-16) becomes U+FFFD, as Qt writes it.
QByteArray fileNameBytes(QStringView text);

// Room for fileNameBytes() of `characters` UTF-16 units: what Qt's UTF-8
// encoder asks for, which is more than a byte's escape needs.
constexpr qsizetype mostFileNameBytes(qsizetype characters)
{
    return 3 * characters + 3;
}

// Writes fileNameBytes(text) to `out`, which has room for
// mostFileNameBytes(text.size()) bytes, and answers where they end: for
// callers that keep millions of paths and cannot make an array of each.
char* writeFileNameBytes(char* out, QStringView text);

// Whether `text` holds bytes that are not UTF-8, which only fileNameBytes()
// turns back into the name on disk.
bool holdsRawBytes(QStringView text);

// `text` as a person reads it: a byte that is not UTF-8 reads as the
// character Windows-1252 gives it (Latin-1, with the printable characters
// Windows put in 0x80-0x9F), so "caf\xE9.jpg" shows as "café.jpg". Several
// names may read the same: never use it to find a file.
QString readableFileText(QStringView text);

// A file: URL that names exactly the bytes of the absolute `path`, as a drop
// target or GStreamer reads it back.
QUrl fileUrl(const QString& path);
// The path a file: URL names, as fileNameText() reads its bytes; empty for
// any other URL.
QString pathOfFileUrl(const QUrl& url);

// Whether anything is at `path`, and whether a regular file this process can
// read is: asked by the path's bytes, which QFileInfo cannot be given. They
// look at the disk, so not on the GUI thread.
bool pathExists(const QString& path);
bool isReadableFile(const QString& path);

} // namespace pivra
