#include "app/launch/PreferencesWiring.h"

#include "app/content/FileReveal.h"
#include "app/window/LibraryWindow.h"
#include "platform/updates/UpdateBuildConfig.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "settings/PreferencesPresenter.h"
#include "settings/updates/UpdatesPreferenceSection.h"
#include "store/updates/UpdateController.h"
#include "style/appearance/AppearanceController.h"

namespace pivra {

PreferencesPresenter* mountPreferences(QWidget& window, LibraryWindow& library, LibraryStore& store,
                                       const ThumbnailStore& thumbnails, const VideoPreviewStore& clips,
                                       AppearanceController& appearance)
{
    PreferencesServices services;
    services.storage.thumbnailFolder = thumbnails.assetDirectory();
    services.storage.previewFolder = clips.directory();
    services.storage.revealFolder = [&store](const QString& folder) { revealFile(folder, folder, toMessage(store)); };
    services.applyAppearance = [&appearance] { appearance.reload(); };
    // The footer and the updates card name the same version: the build's.
    services.version = QString::fromUtf8(UpdateBuildConfig::version);
    services.makeUpdateSection = [version = services.version](QWidget* parent) {
        return new UpdatesPreferenceSection(UpdateController::shared(), version, parent);
    };
    auto* presenter = new PreferencesPresenter(window, store, std::move(services));
    QObject::connect(&library, &LibraryWindow::preferencesRequested, presenter,
                     [presenter] { presenter->showAt(PreferencesRouter::Pane::general); });
    return presenter;
}

} // namespace pivra
