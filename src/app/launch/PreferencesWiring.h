#pragma once

class QWidget;

namespace pivra {

class AppearanceController;
class LibraryStore;
class LibraryWindow;
class PreferencesPresenter;
class ThumbnailStore;
class VideoPreviewStore;

// Puts the preferences sheet over `window`: opened by the library's
// preferences row and by every request to the router, measuring the
// program's own thumbnail and clip folders, applying appearance choices
// through `appearance` and showing folders in the file manager. The
// presenter lives as long as `window`.
PreferencesPresenter* mountPreferences(QWidget& window, LibraryWindow& library, LibraryStore& store,
                                       const ThumbnailStore& thumbnails, const VideoPreviewStore& clips,
                                       AppearanceController& appearance);

} // namespace pivra
