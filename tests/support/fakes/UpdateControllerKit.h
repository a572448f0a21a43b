#pragma once
// An update controller over a scripted engine and a clock that moves only
// when the test says so. Header only: it needs the store, which only the
// suites of the store and above link.

#include "store/updates/UpdateController.h"

#include <memory>
#include <vector>

namespace pivra::test {

struct FakeUpdater : Updater {
    std::optional<PivraError> startError;
    bool checks = true;
    bool downloads = false;
    bool inSession = false;
    std::optional<QDateTime> lastCheck;
    int userChecks = 0;
    int backgroundChecks = 0;

    std::optional<PivraError> startUpdater() override { return startError; }
    bool automaticallyChecksForUpdates() const override { return checks; }
    void setAutomaticallyChecksForUpdates(bool on) override { checks = on; }
    bool automaticallyDownloadsUpdates() const override { return downloads; }
    void setAutomaticallyDownloadsUpdates(bool on) override { downloads = on; }
    std::optional<QDateTime> lastUpdateCheckDate() const override { return lastCheck; }
    bool sessionInProgress() const override { return inSession; }
    void checkForUpdates() override { ++userChecks; }
    void checkForUpdatesInBackground() override { ++backgroundChecks; }
};

// A feed item as the engine would report it.
inline AppcastItem updateItem(const QString& version, std::uint64_t bytes = 120, bool informationOnly = false)
{
    AppcastItem made;
    made.version = made.displayVersion = version;
    made.contentLength = bytes;
    made.informationOnly = informationOnly;
    made.link = QUrl(QStringLiteral("https://pivra.app/releases/") + version);
    return made;
}

class UpdateControllerKit {
public:
    // The 32-byte key, in Base64, a release build carries.
    static QString goodKey() { return QString::fromLatin1(QByteArray(32, 'k').toBase64()); }

    std::unique_ptr<UpdateController> make(UpdateController::Host host)
    {
        UpdateController::Environment environment;
        environment.makeUpdater = [this](UpdateDriver&) -> std::unique_ptr<Updater> {
            ++made;
            auto updater = std::make_unique<FakeUpdater>(nextUpdater);
            updater_ = updater.get();
            return updater;
        };
        environment.after = [this](std::chrono::milliseconds delay, std::function<void()> work) {
            timers.push_back({delay, std::move(work)});
        };
        environment.now = [] { return QDateTime(QDate(2026, 12, 7), QTime(12, 0)); };
        environment.closeSheets = [this] { log.push_back(QStringLiteral("sheets closed")); };
        environment.terminate = [this] { log.push_back(QStringLiteral("terminate")); };
        return std::make_unique<UpdateController>(std::move(host), std::move(environment));
    }

    // A controller of a release build whose engine has started.
    UpdateController& started(InstallKind install = InstallKind::selfUpdating)
    {
        controller_ = make({QStringLiteral("com.brindlecove.pivra"), install, goodKey()});
        controller_->start();
        return *controller_;
    }

    // Runs the timers due so far, as the clock reaching them would.
    void runTimers()
    {
        auto due = std::exchange(timers, {});
        for (auto& timer : due) {
            timer.second();
        }
    }

    // A reply or block that notes how it was answered.
    UpdateReply reply(const QString& name)
    {
        return [this, name](UpdateChoice choice) { log.push_back(name + u' ' + QString::number(int(choice))); };
    }
    UpdateBlock block(const QString& name)
    {
        return [this, name] { log.push_back(name); };
    }

    FakeUpdater nextUpdater;
    FakeUpdater* updater_ = nullptr;
    int made = 0;
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> timers;
    std::vector<QString> log;
    std::unique_ptr<UpdateController> controller_;
};

} // namespace pivra::test
