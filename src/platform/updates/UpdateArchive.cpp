#include "platform/updates/UpdateArchive.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <optional>

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

// The path's steps after removing "." steps, or none when it is absolute or
// climbs with "..". A relative link target is checked the same way after
// being joined to its entry's folder, so ".." inside it may climb only as far
// as the archive's root.
std::optional<QStringList> stepsInside(const QString& path)
{
    if (path.startsWith(u'/')) {
        return std::nullopt;
    }
    QStringList steps;
    for (const QString& step : path.split(u'/', Qt::SkipEmptyParts)) {
        if (step == u"..") {
            if (steps.isEmpty()) {
                return std::nullopt;
            }
            steps.removeLast();
        } else if (step != u".") {
            steps.append(step);
        }
    }
    return steps;
}

bool hasDotDotStep(const QString& path)
{
    return path.split(u'/').contains(QStringLiteral(".."));
}

// Throws unless the entry stays inside the target folder.
void checkEntry(archive_entry* entry)
{
    const QString path = QString::fromUtf8(archive_entry_pathname(entry));
    if (path.startsWith(u'/') || hasDotDotStep(path) || !stepsInside(path)) {
        throw UpdateArchiveError("The update holds a file outside its folder.");
    }
    const mode_t type = archive_entry_filetype(entry);
    if (const char* hardlink = archive_entry_hardlink(entry)) {
        const QString target = QString::fromUtf8(hardlink);
        if (hasDotDotStep(target) || !stepsInside(target)) {
            throw UpdateArchiveError("The update links to a file outside its folder.");
        }
        return;
    }
    if (type == AE_IFLNK) {
        const QString target = QString::fromUtf8(archive_entry_symlink(entry));
        const QString folder = QFileInfo(path).path();
        if (!stepsInside(folder == u"." ? target : folder + u'/' + target)) {
            throw UpdateArchiveError("The update links to a file outside its folder.");
        }
        return;
    }
    if (type != AE_IFREG && type != AE_IFDIR) {
        throw UpdateArchiveError("The update holds a device or pipe.");
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
        if (status != ARCHIVE_OK || archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
            throw UpdateArchiveError("The update could not be unpacked.");
        }
    }
}

} // namespace

bool verifyEd25519(const QString& file, const QByteArray& publicKey, const QString& signatureBase64)
{
    const auto signature = QByteArray::fromBase64Encoding(signatureBase64.toLatin1(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
    QFile input(file);
    if (!signature || signature.decoded.size() != 64 || publicKey.size() != 32 || !input.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray data = input.readAll();
    std::unique_ptr<EVP_PKEY, PkeyDeleter> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(publicKey.constData()), 32));
    std::unique_ptr<EVP_MD_CTX, MdContextDeleter> context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
        return false;
    }
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.decoded.constData()),
                            static_cast<size_t>(signature.decoded.size()),
                            reinterpret_cast<const unsigned char*>(data.constData()),
                            static_cast<size_t>(data.size())) == 1;
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
        checkEntry(entry);
        archive_entry_set_pathname(entry, QByteArray(root + archive_entry_pathname(entry)).constData());
        if (const char* hardlink = archive_entry_hardlink(entry)) {
            archive_entry_set_hardlink(entry, QByteArray(root + hardlink).constData());
        }
        if (archive_write_header(writer.get(), entry) < ARCHIVE_WARN) {
            throw UpdateArchiveError("The update could not be unpacked.");
        }
        if (archive_entry_size(entry) > 0) {
            copyData(reader.get(), writer.get());
        }
        if (archive_write_finish_entry(writer.get()) < ARCHIVE_WARN) {
            throw UpdateArchiveError("The update could not be unpacked.");
        }
        progress(std::min(1.0, static_cast<double>(archive_filter_bytes(reader.get(), -1)) / total));
    }
    progress(1.0);
}

} // namespace pivra
