#pragma once

#include "catalog/model/Uuid.h"
#include "media/camera/CameraSourceManager.h"
#include "platform/runtime/Drain.h"
#include "support/fakes/FakeCameraBackend.h"

#include <QStringList>
#include <gtest/gtest.h>

// Found by argument-dependent lookup, so it lives beside QList.
inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '"' << list.join(QStringLiteral("\", \"")).toStdString() << '"';
}

namespace pivra::test {

inline FakeCameraBackend::File deviceFile(const QString& name, const QByteArray& content = QByteArrayLiteral("data"),
                                          const QString& folder = QStringLiteral("/store_00010001/DCIM/100APPLE"))
{
    FakeCameraBackend::File file;
    file.info.folder = folder;
    file.info.name = name;
    file.info.size = content.size();
    file.content = content;
    return file;
}

// A manager over a fake device layer, with every callback written to one log
// in the order it came: "devices", "catalog <count>", "locked"/"unlocked",
// "error <text>".
class CameraManagerTest : public ::testing::Test {
protected:
    CameraManagerTest()
    {
        manager.onDevicesChanged = [this] { log << QStringLiteral("devices"); };
        manager.onCatalogReady = [this](const QUuid& source, const std::vector<MediaItem>& items) {
            EXPECT_EQ(source, sourceID);
            published.push_back(items);
            log << QStringLiteral("catalog %1").arg(items.size());
        };
        manager.onLockChanged = [this](const QUuid& source, bool locked) {
            EXPECT_EQ(source, sourceID);
            log << (locked ? QStringLiteral("locked") : QStringLiteral("unlocked"));
        };
        manager.onError = [this](const QUuid&, const QString& text) { log << QStringLiteral("error ") + text; };
    }

    // The device `serial`, present with `files` and not yet bound; the log starts empty.
    CameraDeviceId pluggedDevice(std::vector<FakeCameraBackend::File> files)
    {
        const CameraDeviceId device = fake.plug(serial);
        fake.setFiles(device, std::move(files));
        log.clear();
        return device;
    }

    // The same, bound to sourceID, its session open and its catalog published.
    CameraDeviceId publishedDevice(std::vector<FakeCameraBackend::File> files)
    {
        const CameraDeviceId device = pluggedDevice(std::move(files));
        manager.watch(serial, sourceID);
        EXPECT_TRUE(drain());
        EXPECT_EQ(published.size(), 1u);
        log.clear();
        return device;
    }

    QStringList takeLog() { return std::exchange(log, {}); }

    const QString serial = QStringLiteral("00008110-000A1C3E0E8B801E");
    const QUuid sourceID = QUuid::createUuid();
    FakeCameraBackend fake;
    CameraSourceManager manager{fake};
    QStringList log;
    std::vector<std::vector<MediaItem>> published;
};

} // namespace pivra::test
