#include "platform/updates/UpdateArchive.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace pivra {

namespace {

struct PkeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct ReaderDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriterDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

// Links followed while resolving one path before it counts as a loop.
constexpr int maxLinkHops = 40;

using Steps = QList<QByteArray>;

// A path's steps, empty ones and "." left out. Names are bytes to the kernel
// and to the archive: two names that differ in bytes that are not UTF-8 are
// two files, so nothing here reads them as text.
Steps stepsOf(const QByteArray& path)
{
    Steps steps;
    for (const QByteArray& step : path.split('/')) {
        if (!step.isEmpty() && step != ".") {
            steps.append(step);
        }
    }
    return steps;
}

bool climbs(const QByteArray& path)
{
    return path.startsWith('/') || stepsOf(path).contains("..");
}

// Decides whether each entry stays inside the target folder, following the
// links the archive made before it: a link's target is resolved through
// earlier links step by step, as the kernel would, so a chain such as
// "l1 -> l0/.." with "l0 -> .." is seen to climb out even though its text
// alone stays inside.
class EntryChecker {
public:
    // Throws unless the entry stays inside the target folder.
    void check(archive_entry* entry)
    {
        const char* pathname = archive_entry_pathname(entry);
        const QByteArray path = pathname != nullptr ? QByteArray(pathname) : QByteArray();
        Steps folder = stepsOf(path);
        const QByteArray name = folder.isEmpty() ? QByteArray() : folder.takeLast();
        const std::optional<Steps> place = resolve(folder);
        if (path.isEmpty() || climbs(path) || !place) {
            throw UpdateArchiveError("The update holds a file outside its folder.");
        }
        if (const char* hardlink = archive_entry_hardlink(entry)) {
            const QByteArray target(hardlink);
            if (climbs(target) || !resolve(stepsOf(target))) {
                throw UpdateArchiveError("The update links to a file outside its folder.");
            }
            // A second name for a link takes the link's text to another
            // folder, from where the same text may lead anywhere.
            if (namesLink(target)) {
                throw UpdateArchiveError("The update holds a hard link to a link.");
            }
            return;
        }
        const mode_t type = archive_entry_filetype(entry);
        if (type == AE_IFLNK) {
            const char* text = archive_entry_symlink(entry);
            const QByteArray target = text != nullptr ? QByteArray(text) : QByteArray();
            if (name.isEmpty() || target.startsWith('/') || !resolve(folder + stepsOf(target))) {
                throw UpdateArchiveError("The update links to a file outside its folder.");
            }
            links_.insert((*place + Steps{name}).join('/'), target);
            return;
        }
        if (type != AE_IFREG && type != AE_IFDIR) {
            throw UpdateArchiveError("The update holds a device or pipe.");
        }
    }

private:
    // The steps inside the folder once every link met is followed, or none
    // when they leave the folder, meet an absolute link or loop.
    std::optional<Steps> resolve(Steps pending) const
    {
        Steps reached;
        int hops = 0;
        while (!pending.isEmpty()) {
            const QByteArray step = pending.takeFirst();
            if (step == "..") {
                if (reached.isEmpty()) {
                    return std::nullopt;
                }
                reached.removeLast();
                continue;
            }
            reached.append(step);
            const auto link = links_.constFind(reached.join('/'));
            if (link == links_.constEnd()) {
                continue;
            }
            if (++hops > maxLinkHops || link->startsWith('/')) {
                return std::nullopt;
            }
            reached.removeLast();
            pending = stepsOf(*link) + pending;
        }
        return reached;
    }

    // Whether `path` is a link the archive made, once the links among its
    // folders are followed.
    bool namesLink(const QByteArray& path) const
    {
        Steps steps = stepsOf(path);
        if (steps.isEmpty()) {
            return false;
        }
        const QByteArray name = steps.takeLast();
        const std::optional<Steps> folder = resolve(steps);
        return folder && links_.contains((*folder + Steps{name}).join('/'));
    }

    // A link's place inside the folder, its folders' links followed -> its
    // target as written.
    QHash<QByteArray, QByteArray> links_;
};

// Unpacking stopped by the disk it writes to: a full one is named as such.
[[noreturn]] void unpackingFailed(archive* writer)
{
    const int error = archive_errno(writer);
    throw UpdateArchiveError(error == ENOSPC || error == EDQUOT ? "The update could not be unpacked: the disk is full."
                                                                : "The update could not be unpacked.");
}

// What an entry's modes become: its owner's, readable by everyone and
// writable by no one else. An update never makes a program that runs as
// someone else, nor a folder, its own root included (an entry "."), that
// others may write to.
mode_t installedMode(archive_entry* entry)
{
    const mode_t mode = archive_entry_perm(entry);
    switch (archive_entry_filetype(entry)) {
    case AE_IFDIR:
        return mode & 0755;
    case AE_IFREG:
        return (mode & 0111) != 0 ? 0755 : 0644;
    default:
        return mode; // a link's modes mean nothing
    }
}

void copyData(archive* reader, archive* writer)
{
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) {
            return;
        }
        if (status != ARCHIVE_OK) {
            throw UpdateArchiveError("The update could not be unpacked.");
        }
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
            unpackingFailed(writer);
        }
    }
}

} // namespace

QByteArray signedUpdateText(const QString& version, const QByteArray& sha256)
{
    return "Pivra update\nversion: " + version.toUtf8() + "\nsha256: " + sha256.toHex() + '\n';
}

bool verifyUpdateSignature(const QString& file, const QString& version, const QByteArray& publicKey,
                           const QString& signatureBase64)
{
    const auto signature = QByteArray::fromBase64Encoding(signatureBase64.toLatin1(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
    QFile input(file);
    if (!signature || signature.decoded.size() != 64 || publicKey.size() != 32 || !input.open(QIODevice::ReadOnly)) {
        return false;
    }
    QCryptographicHash digest(QCryptographicHash::Sha256);
    if (!digest.addData(&input)) {
        return false;
    }
    const QByteArray text = signedUpdateText(version, digest.result());
    std::unique_ptr<EVP_PKEY, PkeyDeleter> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.constData()), 32));
    std::unique_ptr<EVP_MD_CTX, MdContextDeleter> context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.decoded.constData()),
                            static_cast<size_t>(signature.decoded.size()),
                            reinterpret_cast<const unsigned char*>(text.constData()),
                            static_cast<size_t>(text.size()))
           == 1;
}

void extractArchive(const QString& archivePath, const QString& target,
                    const std::function<void(double)>& progress, const std::atomic<bool>& cancelled)
{
    const double total = std::max<double>(1.0, static_cast<double>(QFileInfo(archivePath).size()));
    std::unique_ptr<archive, ReaderDeleter> reader(archive_read_new());
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) != ARCHIVE_OK) {
        throw UpdateArchiveError("The update could not be unpacked.");
    }
    std::unique_ptr<archive, WriterDeleter> writer(archive_write_disk_new());
    // libarchive's own guards back up the checks above (paths are made
    // absolute under the target, so its absolute-path guard cannot apply).
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_TIME
                                                     | ARCHIVE_EXTRACT_SECURE_SYMLINKS
                                                     | ARCHIVE_EXTRACT_SECURE_NODOTDOT);
    const QByteArray root = QFile::encodeName(target) + '/';
    archive_entry* entry = nullptr;
    EntryChecker checker;
    for (;;) {
        if (cancelled.load()) {
            throw UpdateArchiveError("The update was cancelled.");
        }
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) {
            break;
        }
        if (status != ARCHIVE_OK) {
            throw UpdateArchiveError("The update could not be unpacked.");
        }
        checker.check(entry);
        archive_entry_set_perm(entry, installedMode(entry));
        archive_entry_set_pathname(entry, QByteArray(root + archive_entry_pathname(entry)).constData());
        if (const char* hardlink = archive_entry_hardlink(entry)) {
            archive_entry_set_hardlink(entry, QByteArray(root + hardlink).constData());
        }
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            unpackingFailed(writer.get());
        }
        if (archive_entry_size(entry) > 0) {
            copyData(reader.get(), writer.get());
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            unpackingFailed(writer.get());
        }
        progress(std::min(1.0, static_cast<double>(archive_filter_bytes(reader.get(), -1)) / total));
    }
    progress(1.0);
}

} // namespace pivra
