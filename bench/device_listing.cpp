// Bytes a phone's connection reads before its items show and in all, over
// libgphoto2's "Directory Browse" driver on a folder of 1,000 photos of a
// phone's size, with the ranged reads a phone's driver has: the first
// connection of the device, and a second one of the same device.
#include "media/camera/CameraFileHelpers.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/cameras/GPhotoBackend.h"
#include "platform/runtime/Drain.h"

#include "harness/CameraPhotos.h"
#include "harness/MediaBenchmarkMain.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace pivra::bench {
namespace {

constexpr int photoCount = 1000;
constexpr qint64 phonePhotoBytes = 3 * 1024 * 1024;

QString photoFolder()
{
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("DCIM"));
}

// The photos padded to a phone photo's size past their end, sparsely.
void makePhonePhotos()
{
    makeCameraPhotos(photoFolder(), photoCount, QSize(640, 480));
    QDirIterator files(photoFolder(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile(files.next()).resize(phonePhotoBytes);
    }
}

struct Connection {
    std::int64_t beforeItems = 0;
    std::int64_t all = 0;
};

void BM_DeviceConnections(benchmark::State& state)
{
    const QTemporaryDir kept;
    std::atomic<std::int64_t> served = 0;
    Connection first;
    Connection second;
    for (auto _ : state) {
        GPhotoBackend backend(GPhotoBackend::Options{
            .discoverUsb = false,
            .helpers = cameraFileHelpers(),
            .rangedReadForTesting = [&served](const CameraFileInfo& file, std::int64_t offset, std::int64_t length) {
                QFile original(photoFolder() + file.folder + u'/' + file.name);
                if (!original.open(QIODevice::ReadOnly) || !original.seek(offset)) {
                    return std::optional<QByteArray>();
                }
                const QByteArray data = original.read(length);
                served += data.size();
                return std::optional(data);
            },
            .descriptionFolder = kept.path()});
        CameraSourceManager manager(backend);
        const QString serial = QStringLiteral("PHONE-0001");
        manager.watch(serial, QUuid::createUuid());
        for (Connection* connection : {&first, &second}) {
            served = 0;
            bool shown = false;
            manager.onCatalogReady = [&](const QUuid&, const std::vector<MediaItem>&) {
                if (!std::exchange(shown, true)) {
                    connection->beforeItems = served;
                }
            };
            const CameraDeviceId device = backend.addDeviceForTesting(
                QStringLiteral("Directory Browse"), QStringLiteral("disk:") + photoFolder(), serial, QStringLiteral("Phone"));
            if (!QTest::qWaitFor([&shown] { return shown; }, 600000) || !drain()) {
                state.SkipWithError("the device was never listed");
                return;
            }
            connection->all = served;
            backend.removeDeviceForTesting(device);
            static_cast<void>(drain());
        }
    }
    state.counters["first_before_items_MB"] = double(first.beforeItems) / 1e6;
    state.counters["first_all_MB"] = double(first.all) / 1e6;
    state.counters["second_before_items_MB"] = double(second.beforeItems) / 1e6;
    state.counters["second_all_MB"] = double(second.all) / 1e6;
}
BENCHMARK(BM_DeviceConnections)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace pivra::bench

int main(int argc, char** argv)
{
    return pivra::bench::runMediaBenchmarks(argc, argv, pivra::bench::makePhonePhotos);
}
