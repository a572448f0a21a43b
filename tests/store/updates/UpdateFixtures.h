#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace pivra::test {

// An Ed25519 key pair made for one test.
class SigningKey {
public:
    SigningKey();
    ~SigningKey();

    QByteArray publicKey() const; // 32 raw bytes
    QString sign(const QByteArray& data) const; // Base64 of the 64-byte signature
    // The signature a release of `archive` as `version` is published with.
    QString signRelease(const QByteArray& archive, const QString& version) const;

private:
    struct Key;
    std::unique_ptr<Key> key_;
};

// One entry of an archive made for a test, written as given, hostile paths
// and links included.
struct ArchiveEntry {
    enum class Kind { file, folder, symlink, hardlink };
    QString path;        // as fileNameText() reads its bytes
    Kind kind = Kind::file;
    QByteArray contents; // a file's bytes
    QString target;      // a link's target, likewise
    int mode = -1;       // none: 0644 for a file, 0755 for a folder
};

// A tar.xz archive holding `entries`, in order.
QByteArray makeArchive(const std::vector<ArchiveEntry>& entries);

// A feed with one item per version, each offering `archiveUrl`.
struct FeedItem {
    QString version;
    QString archiveUrl;
    quint64 length = 0;
    QString signature;
    QString description;
};
QByteArray makeFeed(const std::vector<FeedItem>& items);

} // namespace pivra::test
