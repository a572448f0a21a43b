#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

namespace pivra::test {

// Mounts and loop devices a test makes, undone when this goes, innermost
// first, also after a failed assertion returned early. Mounting needs root:
// every call answers false (or none) when it fails, and failure() says why,
// for the test to skip with.
class TestMounts {
public:
    TestMounts();
    TestMounts(const TestMounts&) = delete;
    TestMounts& operator=(const TestMounts&) = delete;
    ~TestMounts();

    // A fresh tmpfs at `point`, its source in the mount table named `source`,
    // with tmpfs's mount `options` ("size=1m").
    bool mountTmpfs(const QString& point, const QString& source, const QString& options = {});
    // What is at `from` shown at `point` too: a bind mount.
    bool bind(const QString& from, const QString& point);
    // The same through FUSE (bindfs), a filesystem of the kind home folders
    // are often on, which cannot exchange two names. The kernel keeps what it
    // looked up for a second, as FUSE does by default; or, with
    // FuseLookups::uncached, asks the server every time, as an NFS share asks
    // its server whether what it holds is still so. The mount table shows it
    // as of the type "fuse", its source `from`; or, given a `subtype`, as of
    // the type "fuse.<subtype>", as a FUSE program of that name mounts it.
    enum class FuseLookups { cached, uncached };
    bool bindThroughFuse(const QString& from, const QString& point, FuseLookups lookups = FuseLookups::cached,
                         const QString& subtype = {});
    // What is at `from` shown at `point` through FUSE (unionfs-fuse), as a
    // share's program shows it: the mount table names its source `source`
    // and its type "fuse.<subtype>", as sshfs ("user@host:/path", "sshfs")
    // and the desktop's gvfs ("gvfsd-fuse", "gvfsd-fuse") name theirs.
    bool shareThroughFuse(const QString& from, const QString& point, const QString& source, const QString& subtype);
    // The FUSE mount at `point` stops answering, as a dying disk does: each
    // call that needs it (a stat of a path never looked up through it) waits
    // until resume(). Were that call the test's own, on its GUI thread,
    // nothing could resume the mount, so it answers again by itself after
    // `longest`; resumedByItself() then tells.
    bool hang(const QString& point, std::chrono::milliseconds longest);
    void resume(const QString& point);
    bool resumedByItself(const QString& point) const;
    // An empty ext4 image file of a few megabytes at `image`, whose
    // filesystem has the UUID `uuid` ("clear": none), and whose folders have
    // birth times unless `birthTimes` is false.
    bool makeExt4Image(const QString& image, const QString& uuid, bool birthTimes = true);
    // The image file attached to a free loop device: the device node. An
    // image may be attached to several devices at once.
    std::optional<QString> attach(const QString& image);
    // The loop device `device` given the image file `image` in place of the
    // one it had, as another disk plugged into the same port: the device
    // node it ends up on, another one only when that one was taken meanwhile.
    std::optional<QString> replaceImage(const QString& device, const QString& image);
    // The ext4 filesystem on the block device `device` mounted at `point`.
    bool mountExt4(const QString& device, const QString& point);
    // The mount at `point` taken away (lazily, as a pulled disk is).
    bool unmount(const QString& point);

    const QString& failure() const { return failure_; }

private:
    bool run(const QString& program, const QStringList& arguments, QString* output = nullptr);
    bool mountFuse(const QString& program, const QStringList& arguments, const QString& point);
    bool mountCall(const QString& point, int result, const char* what);

    struct Hang;
    std::map<QString, int> fuseServers_; // mount point -> bindfs process
    std::map<QString, std::unique_ptr<Hang>> hangs_;
    QStringList mounted_;
    QStringList attached_;
    QString failure_;
};

} // namespace pivra::test
