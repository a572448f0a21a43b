#include "app/launch/LibraryMenus.h"
#include "app/launch/PivraApp.h"
#include "app/launch/PivraIdentity.h"
#include "app/launch/PreferencesWiring.h"
#include "app/launch/ProgramEnd.h"
#include "app/launch/SingleInstance.h"
#include "app/launch/UpdatesWiring.h"
#include "app/launch/WindowGeometry.h"
#include "app/quit/QuitRequests.h"
#include "app/quit/TerminationSignals.h"
#include "style/appearance/AppearanceController.h"
#include "style/assets/PivraFonts.h"
#include "app/window/LibraryWindow.h"
#include "app/window/ModalStacking.h"
#include "app/window/QtClipboard.h"
#include "app/window/QtDialogs.h"
#include "gallery/drag/MediaPasteboard.h"
#include "media/thumbnails/ThumbnailStore.h"
#include "media/video/VideoPreviewStore.h"
#include "platform/cameras/CameraTemporaries.h"
#include "platform/runtime/memory/HeapUpkeep.h"
#include "platform/updates/UpdateBuildConfig.h"
#include "platform/updates/VersionFolders.h"
#include "store/shortcuts/AppRouter.h"
#include "store/LibraryStore.h"
#include "settings/PreferencesRouter.h"
#include "store/updates/UpdateController.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The program, from its start to the end of its application.
int runProgram(int argc, char** argv)
{
    // Asked by an update before it is installed, so answered before
    // anything starts.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Pivra %s\n", pivra::UpdateBuildConfig::version);
        return 0;
    }
    // Before anything reads the version's resources, so that no update
    // removes them while this copy runs.
    pivra::holdRunningVersion();
    pivra::limitHeapRetention();
    pivra::PivraIdentity::applyNames();
    QApplication app(argc, argv);
    // At once, so that a logout while the program starts ends it as a quit:
    // the request waits for the event loop.
    pivra::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &pivra::TerminationSignals::received, &pivra::quitProgram);

    // A second launch hands its file to the running program and leaves
    // before touching the catalog.
    pivra::SingleInstance instance(pivra::SingleInstance::defaultServerName());
    if (instance.forwardOrListen(pivra::SingleInstance::currentLaunch(QApplication::arguments()))) {
        return 0;
    }
    // Before any pipeline runs, so that what it writes from now on is kept.
    pivra::VideoPreviewStore::shared().removeEarlierTemporaries();
    pivra::CameraTemporaries::removeEarlier();
    pivra::PivraIdentity::applyIcon();
    pivra::PivraFonts::registerDisplayFont();
    pivra::AppearanceController appearance;
    const pivra::ModalStacking modalStacking;

    // Made before any window, so the catalog is open and the library starts
    // coming up to date while the window is built.
    pivra::LibraryStore& store = pivra::LibraryStore::shared();
    pivra::PivraApp pivraApp(store, pivra::AppRouter::shared());
    QObject::connect(&instance, &pivra::SingleInstance::launched, &pivraApp, &pivra::PivraApp::takeLaunch);

    auto window = std::make_unique<QMainWindow>();
    window->setWindowTitle(QStringLiteral("Pivra"));
    auto* library =
        new pivra::LibraryWindow(store, pivra::ThumbnailStore::shared(), pivra::VideoPreviewStore::shared());
    window->setCentralWidget(library);
    library->attachTo(window.get());
    pivra::QtFolderPicker folderPicker(window.get());
    pivra::QtShortcutSavePicker shortcutPicker(window.get());
    pivra::QtClipboard clipboard;
    store.setDesktopServices(&folderPicker, &shortcutPicker, &clipboard);
    auto* menus = new pivra::LibraryMenus(store, *window->menuBar());
    menus->addViewMenu(*library);
    pivra::mountPreferences(*window, *library, store, pivra::ThumbnailStore::shared(), pivra::VideoPreviewStore::shared(),
                            appearance);
    pivra::WindowGeometry::restore(*window);
    window->show();
    const pivra::QuitRequests quitRequests(*window, *menus->quitAction());
    pivra::PivraIdentity::removeLegacyCustomization();
    pivra::MediaPasteboard::removeOldShares();
    pivraApp.windowAppeared(window.get(), QApplication::arguments());
    pivra::startUpdates(pivra::UpdateController::shared(), pivra::PreferencesRouter::shared());

    const int status = QApplication::exec();
    pivra::endWindow(std::move(window), instance);
    pivra::endLibrary(store);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    pivra::leaveProgram(runProgram(argc, argv));
}
