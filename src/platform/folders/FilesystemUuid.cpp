#include "platform/folders/FilesystemUuid.h"

#include <QFile>

#include <blkid.h>
#include <sys/stat.h>

#include <memory>

namespace pivra {
namespace {

struct ProbeFreer {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};

} // namespace

std::optional<QString> filesystemUuid(const QString& deviceNode)
{
    const QByteArray node = QFile::encodeName(deviceNode);
    struct stat values {};
    if (stat(node.constData(), &values) != 0 || !S_ISBLK(values.st_mode)) {
        return std::nullopt;
    }
    const std::unique_ptr<blkid_struct_probe, ProbeFreer> probe(blkid_new_probe_from_filename(node.constData()));
    if (!probe || blkid_probe_enable_superblocks(probe.get(), 1) != 0
        || blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_UUID) != 0) {
        return std::nullopt;
    }
    // The safe probe refuses a device carrying two filesystems' signatures,
    // whose UUID would be a guess.
    const char* uuid = nullptr;
    if (blkid_do_safeprobe(probe.get()) != 0 || blkid_probe_lookup_value(probe.get(), "UUID", &uuid, nullptr) != 0
        || uuid == nullptr || *uuid == '\0') {
        return std::nullopt;
    }
    return QString::fromUtf8(uuid);
}

} // namespace pivra
