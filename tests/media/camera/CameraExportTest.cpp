#include "media/camera/CameraItemPaths.h"

#include "CameraTestKit.h"
#include "support/ParamNames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>

namespace pivra::test {
namespace {

constexpr std::int64_t MiB = 1024 * 1024;

using Read = FakeCameraBackend::ReadRequest;
using Fault = FakeCameraBackend::ReadFault;

const PivraError unavailable{QStringLiteral("Pivra.CameraExport"), 1,
                             QStringLiteral("The iPhone is disconnected or locked.")};
const PivraError readFailed{QStringLiteral("Pivra.Camera"), -1, QStringLiteral("The read failed.")};

QByteArray patterned(std::int64_t size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = char((i * 131 + i / 4099) & 0xFF);
    }
    return bytes;
}

class CameraExportTest : public CameraManagerTest {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    // Exports the device's only file and waits for the one completion. The
    // copy keeps the completion until its last read has come back, so once
    // the completion is gone no second call can come.
    std::optional<PivraError> exportTo(const QString& path, const QString& destination)
    {
        std::mutex mutex;
        std::optional<PivraError> result;
        std::atomic<int> calls{0};
        auto held = std::make_shared<int>(0);
        const std::weak_ptr<int> completionHeld = held;
        manager.exportFile(path, destination, [&, held = std::move(held)](std::optional<PivraError> error) {
            const std::lock_guard lock(mutex);
            result = error;
            ++calls;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return completionHeld.expired(); }, 20000));
        EXPECT_EQ(calls, 1);
        const std::lock_guard lock(mutex);
        return result;
    }

    QString onlyPath() const { return manager.files().keys().value(0); }

    QTemporaryDir folder;
    const QString destination = folder.filePath(QStringLiteral("IMG_0001.MOV"));
};

struct Case {
    const char* name;
    std::int64_t contentSize;
    std::optional<std::int64_t> reportedSize; // none: the content's size
    FakeCameraBackend::ReadScript script;
    std::optional<PivraError> error;
    std::vector<Read> reads; // empty: not checked
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class CameraExportCaseTest : public CameraExportTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CameraExportCaseTest, CopiesTheWholeFileOrLeavesNothing)
{
    const Case& c = GetParam();
    FakeCameraBackend::File file = deviceFile(QStringLiteral("IMG_0001.MOV"), patterned(c.contentSize));
    file.info.size = c.reportedSize.value_or(c.contentSize);
    publishedDevice({file});
    fake.setReadScript(c.script);

    EXPECT_EQ(exportTo(onlyPath(), destination), c.error);
    QFile copy(destination);
    if (c.error) {
        EXPECT_FALSE(copy.exists());
    } else {
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_TRUE(copy.readAll() == file.content);
    }
    if (!c.reads.empty()) {
        const std::vector<Read> reads = fake.readRequests();
        ASSERT_EQ(reads.size(), c.reads.size());
        for (std::size_t i = 0; i < reads.size(); ++i) {
            EXPECT_EQ(reads[i].offset, c.reads[i].offset) << i;
            EXPECT_EQ(reads[i].length, c.reads[i].length) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CameraExportCaseTest,
    ::testing::Values(
        Case{"empty file, no read", 0, std::nullopt, {}, std::nullopt, {}},
        Case{"one chunk", 4 * MiB, std::nullopt, {}, std::nullopt, {{0, 4 * MiB}}},
        Case{"one byte more", 4 * MiB + 1, std::nullopt, {}, std::nullopt, {{0, 4 * MiB}, {4 * MiB, 1}}},
        Case{"short reads", 9 * MiB + 7, std::nullopt, {.maxLength = 3 * MiB}, std::nullopt,
             {{0, 4 * MiB}, {3 * MiB, 4 * MiB}, {6 * MiB, 3 * MiB + 7}, {9 * MiB, 7}}},
        Case{"size PTP cannot hold: read to the end", 5 * MiB + 3, cameraUnknownSize, {.maxLength = 2 * MiB},
             std::nullopt, {{0, 4 * MiB}, {2 * MiB, 4 * MiB}, {4 * MiB, 4 * MiB}, {5 * MiB + 3, 4 * MiB}}},
        Case{"device ends before its size", 5 * MiB, 6 * MiB, {}, unavailable, {}},
        Case{"data with an error", 9 * MiB, std::nullopt, {.faultAfter = 1, .fault = Fault::errorWithData},
             readFailed, {}},
        Case{"an empty buffer", 9 * MiB, std::nullopt, {.faultAfter = 1, .fault = Fault::empty}, unavailable, {}}),
    rowName);

TEST_F(CameraExportTest, ADeviceThatGoesAwayFailsAsDisconnectedAndLeavesNoFile)
{
    const CameraDeviceId device = publishedDevice({deviceFile(QStringLiteral("IMG_0001.MOV"), patterned(9 * MiB))});
    const QString path = onlyPath();
    fake.setReadScript({.hold = true});

    std::atomic<int> calls{0};
    std::optional<PivraError> result;
    manager.exportFile(path, destination, [&](std::optional<PivraError> error) {
        result = error;
        ++calls;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.heldReads() == 1; }, 5000));
    EXPECT_TRUE(QFile::exists(destination));
    fake.unplug(device);
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 5000));
    EXPECT_EQ(result, unavailable);
    EXPECT_FALSE(QFile::exists(destination));

    // Afterwards the path is gone, and nothing on disk is touched.
    EXPECT_EQ(exportTo(path, destination), unavailable);
    EXPECT_FALSE(QFile::exists(destination));
}

TEST_F(CameraExportTest, AnUnwritableDestinationIsAFileWriteError)
{
    publishedDevice({deviceFile(QStringLiteral("IMG_0001.MOV"))});
    const QString nowhere = folder.filePath(QStringLiteral("missing/IMG_0001.MOV"));
    const std::optional<PivraError> error = exportTo(onlyPath(), nowhere);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, fileWriteUnknownErrorCode);
    EXPECT_TRUE(fake.readRequests().empty());
}

} // namespace
} // namespace pivra::test
