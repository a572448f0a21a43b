#pragma once

#include "settings/PreferencesRouter.h"
#include "settings/StorageTab.h"
#include "store/ProcessMonitor.h"

#include <QDialog>

#include <functional>

class QAbstractButton;
class QLabel;
class QStackedWidget;

namespace pivra {

class GeneralTab;
class LibraryStore;
class ProcessesTab;

// What the preferences window works with besides the store.
struct PreferencesServices {
    StorageServices storage;
    // Has the stored appearance applied (the appearance controller reading
    // it again); none only stores it.
    std::function<void()> applyAppearance;
    // Makes the General tab's updates section; none leaves the place empty.
    std::function<QWidget*(QWidget* parent)> makeUpdateSection;
    // The program's version for the footer; empty shows "—".
    QString version;
    ProcessMonitor::Clock clock = ProcessMonitor::systemClock();
};

// The preferences window, a fixed 720×640 sheet over the library window:
// the header with Done, a bar of three tabs (the Processes tab with an
// activity dot while any background work runs), the selected tab and the
// version. Everything in it lives only while it is shown; each showing
// measures the storage once, and from then on follows the router, so a
// request while it is open switches the tab.
class PivraPreferences final : public QDialog {
    Q_OBJECT

public:
    using Pane = PreferencesRouter::Pane;
    static constexpr int sheetWidth = 720;
    static constexpr int sheetHeight = 640;

    PivraPreferences(Pane initialTab, LibraryStore& store, const PreferencesServices& services,
                     PreferencesRouter& router = PreferencesRouter::shared(), QWidget* parent = nullptr);

    Pane selectedTab() const { return selected_; }
    void selectTab(Pane tab);
    // Whether a scan, thumbnail, clip or location run is under way.
    bool showsActivityDot() const;

    QAbstractButton* tabButton(Pane tab) const;
    QAbstractButton* doneButton() const { return done_; }
    QLabel* versionLabel() const { return version_; }
    GeneralTab* generalTab() const { return general_; }
    StorageTab* storageTab() const { return storage_; }
    ProcessesTab* processesTab() const { return processes_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class TabButton;

    void showActivity();
    QWidget* tabPage(QWidget* content);

    LibraryStore& store_;
    PreferencesRouter& router_;
    Pane selected_;
    bool observing_ = false;
    QAbstractButton* done_;
    QList<TabButton*> tabs_;
    QStackedWidget* pages_;
    GeneralTab* general_;
    StorageTab* storage_;
    ProcessesTab* processes_;
    QLabel* version_;
};

// Stops the whole background pipeline of `kind`: the store's cancel
// operation for it.
void stopProcesses(LibraryStore& store, PivraProcess::Kind kind);

} // namespace pivra
