#pragma once
// A library store over temporary files with thumbnail and clip stores of the
// test's own, whose renderings wait at a gate the test may close, so a
// thumbnail run stays under way for as long as a test needs it.

#include "store/StoreTestKit.h"

#include "media/thumbnails/render/ThumbnailRenderer.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/thumbnails/ThumbnailTestKit.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/runtime/Drain.h"
#include "settings/PivraPreferences.h"

#include <QTest>

#include <memory>

namespace pivra::test {

class GatedRenderer final : public ThumbnailRenderer {
public:
    Rendering render(const MediaItem& item, int pixels, DecodeUrgency urgency) const override
    {
        gate.pass();
        return ThumbnailRenderer::render(item, pixels, urgency);
    }

    mutable ReopenableGate gate;
};

class PreferencesTest : public StoreTest {
protected:
    void TearDown() override
    {
        renderer_->gate.open();
        sheet_.reset();
        if (store_) {
            EXPECT_TRUE(drain());
            store_.reset();
        }
        StoreTest::TearDown();
    }

    // The store, once its start-up work is done, with `online` sources whose
    // rows (none with a thumbnail yet) are `rows` each.
    LibraryStore& openStore(int online = 0, int rows = 3)
    {
        QList<LibrarySource> sources;
        for (int index = 0; index < online; ++index) {
            sources.append(folderSource(QStringLiteral("Source %1").arg(index), true));
            QStringList paths;
            for (int row = 0; row < rows; ++row) {
                paths.append(QStringLiteral("%1/%2.jpg").arg(index).arg(row));
            }
            writeRows(sources.back(), paths);
        }
        store_ = makeStore({.thumbnails = &thumbnails_, .previews = &clips_});
        EXPECT_TRUE(drain());
        // The start-up pass takes folders without a bookmark offline.
        store_->setSources(sources);
        EXPECT_TRUE(drain());
        return *store_;
    }

    PreferencesServices services()
    {
        PreferencesServices services;
        services.storage = {thumbnails_.assetDirectory(), clips_.directory(), &diskStats,
                            [this](const QString& folder) { revealed_.append(folder); }};
        services.clock = [this] { return now_; };
        services.version = QStringLiteral("1.4.2");
        return services;
    }

    PivraPreferences& showSheet(PreferencesRouter::Pane tab = PreferencesRouter::Pane::general)
    {
        sheet_ = std::make_unique<PivraPreferences>(tab, *store_, services(), router_);
        sheet_->show();
        return *sheet_;
    }

    // Waits for the event loop to bring `condition` about.
    static bool eventually(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 10000); }

    std::shared_ptr<GatedRenderer> renderer_ = std::make_shared<GatedRenderer>();
    ThumbnailStore thumbnails_{ThumbnailLocations::under(pathOf(QStringLiteral("data")), pathOf(QStringLiteral("cache"))),
                               renderer_};
    VideoPreviewStore clips_{pathOf(QStringLiteral("clips"))};
    PreferencesRouter router_;
    Timestamp now_ = 1'700'000'000;
    QStringList revealed_;
    std::unique_ptr<LibraryStore> store_;
    std::unique_ptr<PivraPreferences> sheet_;
};

} // namespace pivra::test
