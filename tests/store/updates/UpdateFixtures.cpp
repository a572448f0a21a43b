#include "UpdateFixtures.h"

#include "platform/folders/FileNameText.h"
#include "platform/updates/UpdateArchive.h"

#include <QCryptographicHash>
#include <QTemporaryFile>

#include <archive.h>
#include <archive_entry.h>
#include <openssl/evp.h>

#include <stdexcept>

namespace pivra::test {

struct SigningKey::Key {
    EVP_PKEY* pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    ~Key() { EVP_PKEY_free(pkey); }
};

SigningKey::SigningKey()
    : key_(std::make_unique<Key>())
{
    if (!key_->pkey) {
        throw std::runtime_error("cannot make an Ed25519 key");
    }
}

SigningKey::~SigningKey() = default;

QByteArray SigningKey::publicKey() const
{
    QByteArray raw(32, '\0');
    size_t length = 32;
    EVP_PKEY_get_raw_public_key(key_->pkey, reinterpret_cast<unsigned char*>(raw.data()), &length);
    return raw;
}

QString SigningKey::sign(const QByteArray& data) const
{
    QByteArray signature(64, '\0');
    size_t length = 64;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestSignInit(context, nullptr, nullptr, nullptr, key_->pkey);
    EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                   reinterpret_cast<const unsigned char*>(data.constData()), static_cast<size_t>(data.size()));
    EVP_MD_CTX_free(context);
    return QString::fromLatin1(signature.toBase64());
}

QString SigningKey::signRelease(const QByteArray& archive, const QString& version) const
{
    return sign(signedUpdateText(version, QCryptographicHash::hash(archive, QCryptographicHash::Sha256)));
}

QByteArray makeArchive(const std::vector<ArchiveEntry>& entries)
{
    QTemporaryFile file;
    file.open();
    archive* writer = archive_write_new();
    archive_write_add_filter_xz(writer);
    archive_write_set_format_pax_restricted(writer);
    archive_write_open_filename(writer, QFile::encodeName(file.fileName()).constData());
    for (const ArchiveEntry& entry : entries) {
        archive_entry* header = archive_entry_new();
        archive_entry_set_pathname(header, fileNameBytes(entry.path).constData());
        const bool folder = entry.kind == ArchiveEntry::Kind::folder;
        archive_entry_set_perm(header, static_cast<mode_t>(entry.mode >= 0 ? entry.mode : folder ? 0755 : 0644));
        switch (entry.kind) {
        case ArchiveEntry::Kind::file:
            archive_entry_set_filetype(header, AE_IFREG);
            archive_entry_set_size(header, entry.contents.size());
            break;
        case ArchiveEntry::Kind::folder:
            archive_entry_set_filetype(header, AE_IFDIR);
            break;
        case ArchiveEntry::Kind::symlink:
            archive_entry_set_filetype(header, AE_IFLNK);
            archive_entry_set_symlink(header, fileNameBytes(entry.target).constData());
            break;
        case ArchiveEntry::Kind::hardlink:
            archive_entry_set_filetype(header, AE_IFREG);
            archive_entry_set_hardlink(header, fileNameBytes(entry.target).constData());
            break;
        }
        archive_write_header(writer, header);
        if (!entry.contents.isEmpty()) {
            archive_write_data(writer, entry.contents.constData(), static_cast<size_t>(entry.contents.size()));
        }
        archive_entry_free(header);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    return file.readAll();
}

QByteArray makeFeed(const std::vector<FeedItem>& items)
{
    QByteArray feed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:u="https://pivra.app/xml/updates"><channel><title>Pivra</title>)";
    for (const FeedItem& item : items) {
        feed += QStringLiteral(R"(<item><title>Pivra %1</title><u:version>%1</u:version>
<description><![CDATA[%2]]></description><pubDate>Mon, 07 Dec 2026 10:00:00 +0000</pubDate>
<enclosure url="%3" length="%4" type="application/x-xz" u:edSignature="%5" u:os="linux"/></item>)")
                    .arg(item.version, item.description, item.archiveUrl)
                    .arg(item.length)
                    .arg(item.signature)
                    .toUtf8();
    }
    return feed + "</channel></rss>";
}

} // namespace pivra::test
