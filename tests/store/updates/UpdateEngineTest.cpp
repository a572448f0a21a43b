// The update engine end to end, driven by the real controller: a feed and
// archives served from this machine, signed with a key made for the test,
// installed into a temporary install folder by the real helper.
#include "LoopbackServer.h"
#include "UpdateFixtures.h"

#include "platform/AppSettings.h"
#include "platform/folders/FileNameText.h"
#include "platform/updates/UpdateBuildConfig.h"
#include "platform/updates/InstallLocation.h"
#include "platform/updates/KeptUpdate.h"
#include "platform/updates/UpdateEngine.h"
#include "platform/updates/UpdateLeftovers.h"
#include "store/updates/UpdateController.h"
#include "support/ParamNames.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TempFolder.h"
#include "support/system/TestMounts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <map>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace pivra::test {
namespace {

using Kind = UpdateController::Phase::Kind;
using Entry = ArchiveEntry;

constexpr int waitMs = 30000;

// The program of a release: says its version, and leaves a mark in its own
// tree when it is started again.
QByteArray releaseProgram(const QString& version)
{
    return "#!/bin/sh\n[ \"$1\" = --version ] && echo \"Pivra " + version.toUtf8()
           + "\" && exit\necho relaunched > \"$(dirname \"$(readlink -f \"$0\")\")/../relaunched\"\n";
}

std::vector<Entry> releaseEntries(const QString& programSays = QStringLiteral("2.0"))
{
    // Modes as a careless packer leaves them.
    return {
        {QStringLiteral("."), Entry::Kind::folder, {}, {}, 0777},
        {QStringLiteral(".pivra-install"), Entry::Kind::file, {}},
        {QStringLiteral("bin"), Entry::Kind::folder, {}, {}, 02775},
        {QStringLiteral("bin/pivra"), Entry::Kind::file,
         releaseProgram(programSays), {}, 0755},
        {QStringLiteral("bin/tool"), Entry::Kind::file, "#!/bin/sh\n", {}, 06755},
        {QStringLiteral("VERSION"), Entry::Kind::file, "2.0", {}, 0666},
        {QStringLiteral("lib"), Entry::Kind::folder},
        {QStringLiteral("lib/version-link"), Entry::Kind::symlink, {}, QStringLiteral("../VERSION")},
    };
}

// A release carrying `bytes` of incompressible data, so its archive is about
// as large.
std::vector<Entry> noisyRelease(qsizetype bytes)
{
    QByteArray noise(bytes, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    std::vector<Entry> entries = releaseEntries();
    entries.push_back({QStringLiteral("noise"), Entry::Kind::file, noise});
    return entries;
}

class UpdateEngineTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        settings_ = std::make_unique<SettingsSandbox>(pathOf(QStringLiteral("settings")));
        // Only the checks a test asks for.
        AppSettings().setValue(QStringLiteral("pivra.updates.automaticChecks"), false);
        install_ = pathOf(QStringLiteral("apps/pivra"));
        ASSERT_NO_FATAL_FAILURE(installVersionOne());
    }

    // A fresh install of version 1.0, as `cmake --install` lays it out or,
    // `flat`, as installs were laid out before versions were kept apart; and
    // a running program to replace.
    void installVersionOne(bool flat = false)
    {
        QDir(install_).removeRecursively();
        writeFile(QStringLiteral("apps/pivra/.pivra-install"), {});
        if (flat) {
            writeTree(QStringLiteral("apps/pivra"), QStringLiteral("1.0"));
        } else {
            writeTree(QStringLiteral("apps/pivra/versions/1.0"), QStringLiteral("1.0"));
            makeFolder(QStringLiteral("apps/pivra/bin"));
            ASSERT_TRUE(QFile::link(entryLinkTo(QStringLiteral("1.0")), install_ + u'/' + installEntry));
        }
        // Stands for the running program, whose end the helper waits for.
        program_.kill();
        program_.waitForFinished();
        program_.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        ASSERT_TRUE(program_.waitForStarted());
    }

    // A version's own files, as the archive of a release holds them.
    void writeTree(const QString& relative, const QString& version) const
    {
        writeFile(relative + u'/' + installMarkerName, {});
        writeFile(relative + QStringLiteral("/VERSION"), version.toUtf8());
        const QString program = writeFile(relative + u'/' + installEntry, releaseProgram(version));
        QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
    }

    // A verified update to 2.0, as the program hands it to the helper.
    QString stageVersionTwo() const
    {
        const QString staging = makeFolder(QStringLiteral("apps/.pivra-update-two"));
        writeTree(QStringLiteral("apps/.pivra-update-two/root"), QStringLiteral("2.0"));
        noteStagedVersion(staging, QStringLiteral("2.0"));
        return staging;
    }

    // The install's folder shown through FUSE, empty until version 1.0 is
    // installed anew. False when it cannot be mounted: the test then skips.
    [[nodiscard]] bool mountAppsThroughFuse()
    {
        return mounts_.bindThroughFuse(makeFolder(QStringLiteral("fuse-source")), pathOf(QStringLiteral("apps")));
    }

    // The helper as the program starts it once it has quit, for a verified
    // update to 2.0; `environment` as the test gives it.
    bool runHelper(const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess helper;
        helper.setProcessEnvironment(environment);
        // No program to wait for, and none started again: a started one
        // would write into the install while the next start sweeps it.
        helper.start(QString::fromUtf8(UpdateBuildConfig::helperInBuildTree),
                     {QStringLiteral("0"), stageVersionTwo(), install_});
        EXPECT_TRUE(helper.waitForFinished(waitMs));
        return helper.exitStatus() == QProcess::CrashExit;
    }

    // Another copy of the program, started from the install's version
    // `version` as a second session would be; it holds its version once it
    // says so.
    void startCopy(QProcess& copy, const QString& version) const
    {
        const QString program = install_ + QStringLiteral("/versions/") + version + QStringLiteral("/bin/copy");
        ASSERT_TRUE(QFile::copy(QStringLiteral(PIVRA_RUNNING_COPY_PROGRAM), program));
        copy.start(program);
        ASSERT_TRUE(copy.waitForReadyRead(waitMs));
        ASSERT_EQ(copy.readAllStandardOutput(), "running\n");
    }

    // Where the update's program, started again, leaves its mark.
    QString relaunched() const { return install_ + QStringLiteral("/versions/2.0/relaunched"); }

    // The version the install's entry starts, as its own files say.
    QByteArray installedVersion() const
    {
        const QString program = QFileInfo(install_ + u'/' + installEntry).canonicalFilePath();
        QFile version(QFileInfo(program).path() + QStringLiteral("/../VERSION"));
        return version.open(QIODevice::ReadOnly) ? version.readAll() : QByteArray();
    }

    // What the install's entry says when it is started, as the desktop
    // starts it: empty when nothing starts.
    QByteArray programAnswer() const
    {
        QProcess program;
        program.start(install_ + u'/' + installEntry, {QStringLiteral("--version")});
        return program.waitForFinished(waitMs) && program.exitCode() == 0 ? program.readAllStandardOutput().trimmed()
                                                                            : QByteArray();
    }

    // The install folder's own entries, its entry folder's and its versions':
    // "bin/pivra", "versions/2.0".
    QStringList inInstall() const
    {
        QStringList listing;
        for (const QString& folder : {QString(), QStringLiteral("bin/"), QStringLiteral("versions/")}) {
            for (const QString& name :
                 QDir(install_ + u'/' + folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System)) {
                listing.append(folder + name);
            }
        }
        listing.sort();
        return listing;
    }

    // An install whose entry starts version `version` from a folder of its
    // own and holds nothing else.
    static QStringList versionedInstall(const QString& version)
    {
        return {QStringLiteral(".pivra-install"), QStringLiteral("bin"), QStringLiteral("bin/pivra"),
                QStringLiteral("versions"), QStringLiteral("versions/") + version};
    }

    void TearDown() override
    {
        controller_.reset();
        program_.kill();
        program_.waitForFinished();
    }

    UpdateController& controller()
    {
        if (!controller_) {
            UpdateController::Host host{QStringLiteral("com.brindlecove.pivra"), InstallKind::selfUpdating,
                                        QString::fromLatin1(key_.publicKey().toBase64())};
            UpdateController::Environment environment;
            environment.makeUpdater = [this](UpdateDriver& driver) -> std::unique_ptr<Updater> {
                auto engine = std::make_unique<UpdateEngine>(engineConfig(true), driver);
                engine_ = engine.get();
                return engine;
            };
            environment.after = [this](std::chrono::milliseconds delay, std::function<void()> work) {
                QTimer::singleShot(delay, controller_.get(), std::move(work));
            };
            environment.now = [] { return QDateTime::currentDateTime(); };
            environment.closeSheets = [] {};
            environment.terminate = [] {};
            controller_ = std::make_unique<UpdateController>(std::move(host), std::move(environment));
            controller_->start();
            EXPECT_TRUE(controller_->isAvailable());
        }
        return *controller_;
    }

    // The engine as a test build makes it, or as a release build does.
    UpdateEngineConfig engineConfig(bool testBuild)
    {
        UpdateEngineConfig config{server_.url(QStringLiteral("/feed")), key_.publicKey(), QStringLiteral("1.0"),
                                  install_, QStringLiteral("bin/pivra"),
                                  QString::fromUtf8(UpdateBuildConfig::helperInBuildTree),
                                  static_cast<pid_t>(program_.processId()), [this] {
                                      if (!quitRefused_) {
                                          program_.kill();
                                      }
                                  }};
        config.transferTimeout = transferTimeout_;
        config.transferDeadline = transferDeadline_;
        config.unannouncedLimit = unannouncedLimit_;
        config.allowLoopbackHttp = testBuild;
        return config;
    }

    // Serves a feed offering `archive` as version `listed_`, signed as the
    // bytes `signedBytes` of version `signedAs_`. The feed announces
    // `announced` bytes (the archive's size when none).
    void offer(const QByteArray& archive, const QByteArray& signedBytes, LoopbackServer::Answer download = {},
               std::optional<quint64> announced = std::nullopt)
    {
        download.body = archive;
        server_.answer(archivePath, download);
        server_.answer(QStringLiteral("/feed"), {200, feedFor(signedBytes, announced.value_or(archive.size()))});
    }

    QByteArray feedFor(const QByteArray& signedBytes, quint64 announced) const
    {
        return makeFeed({{listed_, server_.url(archivePath).toString(), announced,
                          key_.signRelease(signedBytes, signedAs_), QStringLiteral("<ul><li>Faster</li></ul>")}});
    }

    // Staging is removed on its own thread, after the failure is told.
    bool waitForDisk(const QStringList& expected)
    {
        return QTest::qWaitFor([&] { return disk() == expected; }, waitMs);
    }

    QStringList besideInstall() const
    {
        return QDir(pathOf(QStringLiteral("apps"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    bool waitForPhase(Kind kind)
    {
        return QTest::qWaitFor([&] { return controller().phase().kind == kind; }, waitMs);
    }

    // Everything under `folder`: paths, link targets and content digests.
    QStringList disk(const QString& folder = QStringLiteral("apps")) const
    {
        QStringList listing;
        QDirIterator it(pathOf(folder), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            QString line = info.filePath() + u' ' + info.symLinkTarget();
            if (info.isFile() && !info.isSymLink()) {
                QFile file(info.filePath());
                file.open(QIODevice::ReadOnly);
                line += QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
            }
            listing.append(line);
        }
        listing.sort();
        return listing;
    }

    inline static const QString archivePath = QStringLiteral("/pivra-2.0.tar.xz");
    QString listed_ = QStringLiteral("2.0");
    QString signedAs_ = QStringLiteral("2.0");
    TestMounts mounts_; // undone before the temporary folder goes
    LoopbackServer server_;
    SigningKey key_;
    QString install_;
    QProcess program_;
    std::unique_ptr<SettingsSandbox> settings_;
    std::unique_ptr<UpdateController> controller_;
    UpdateEngine* engine_ = nullptr;
    std::chrono::milliseconds transferTimeout_ = std::chrono::seconds(20);
    std::chrono::milliseconds transferDeadline_ = std::chrono::minutes(2);
    std::uint64_t unannouncedLimit_ = 300'000'000;
    bool quitRefused_ = false; // the program stays when asked to quit
};

struct InstallPlace {
    const char* name;
    bool throughFuse; // a filesystem that cannot exchange two names
    bool flat;        // installed before versions were kept apart
};

// Where an install may be, and how it may have been laid out.
const auto installPlaces = ::testing::Values(InstallPlace{"local folder", false, false},
                                             InstallPlace{"through FUSE", true, false},
                                             InstallPlace{"flat install through FUSE", true, true});

class UpdateInstallTest : public UpdateEngineTest, public ::testing::WithParamInterface<InstallPlace> {
protected:
    void SetUp() override
    {
        UpdateEngineTest::SetUp();
        if (GetParam().throughFuse && !mountAppsThroughFuse()) {
            GTEST_SKIP() << mounts_.failure().toStdString();
        }
        ASSERT_NO_FATAL_FAILURE(installVersionOne(GetParam().flat));
    }
};

TEST_P(UpdateInstallTest, InstallsAVerifiedUpdateAndStartsItAgain)
{
    const QByteArray archive = makeArchive(releaseEntries());
    offer(archive, archive);

    controller().updateNow(); // from idle: check, download, verify and install without another click

    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(relaunched()); }, waitMs))
        << "phase " << int(controller().phase().kind) << ' ' << controller().phase().message.toStdString();
    EXPECT_EQ(controller().phase().kind, Kind::installing);
    EXPECT_EQ(controller().phase().release()->notes, QStringList{QStringLiteral("Faster")});
    EXPECT_EQ(programAnswer(), "Pivra 2.0");
    const QString tree = install_ + QStringLiteral("/versions/2.0");
    EXPECT_EQ(QFileInfo(tree + QStringLiteral("/lib/version-link")).symLinkTarget(),
              QFileInfo(tree + QStringLiteral("/VERSION")).absoluteFilePath());
    // The new version and its entry, and nothing else: no staging beside the
    // install, no old version in it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return besideInstall() == QStringList{QStringLiteral("pivra")}; }, waitMs))
        << besideInstall().join(u' ').toStdString();
    EXPECT_EQ(inInstall(), versionedInstall(QStringLiteral("2.0")));
    // Nothing others may write, no program that runs as someone else.
    const std::map<QString, unsigned> modes{{QString(), 0755},      {QStringLiteral("/bin"), 0755},
                                            {QStringLiteral("/bin/tool"), 0755}, {QStringLiteral("/bin/pivra"), 0755},
                                            {QStringLiteral("/VERSION"), 0644}};
    for (const auto& [path, mode] : modes) {
        struct stat status {};
        ASSERT_EQ(::stat(QFile::encodeName(tree + path).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode) << path.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Places, UpdateInstallTest, installPlaces, rowName);

class UpdateKillTest : public UpdateInstallTest {
protected:
    // The helper as the program starts it, for a verified update to 2.0,
    // killed just before its `step`th change of a name, or never.
    bool runHelperKilledAt(int step)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(PIVRA_KILL_AT_STEP_LIBRARY));
        environment.insert(QStringLiteral("PIVRA_KILL_AT_STEP"), QString::number(step));
        // A sanitizer build's runtime would rather be loaded first.
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
        return runHelper(environment);
    }
};

// Wherever names cannot be exchanged (the helper here exchanges none, as on
// FUSE), a kill at any rename, link or removal of an install leaves an entry
// that starts a whole version, the old one or the new. The next start keeps
// that version and sweeps what the kill left.
TEST_P(UpdateKillTest, AHelperKilledAtAnyStepLeavesAProgramThatTheNextStartTidiesUp)
{
    int step = 1;
    for (bool killed = true; killed; ++step) {
        SCOPED_TRACE(step);
        controller_.reset();
        ASSERT_NO_FATAL_FAILURE(installVersionOne(GetParam().flat));
        killed = runHelperKilledAt(step);
        const QByteArray started = programAnswer();
        ASSERT_TRUE(started == "Pivra 1.0" || started == "Pivra 2.0")
            << "nothing starts; the install holds " << inInstall().join(u' ').toStdString();
        EXPECT_TRUE(killed || started == "Pivra 2.0");

        controller(); // the next start
        const bool flatStill = GetParam().flat && started == "Pivra 1.0";
        const QStringList tidy = flatStill ? QStringList{QStringLiteral(".pivra-install"), QStringLiteral("VERSION"),
                                                         QStringLiteral("bin"), QStringLiteral("bin/pivra")}
                                           : versionedInstall(QString::fromUtf8(started.mid(6)));
        const auto tidied = [&] {
            QStringList inside = inInstall();
            if (flatStill && QDir(install_ + QStringLiteral("/versions")).isEmpty()) {
                inside.removeOne(QStringLiteral("versions"));
            }
            return besideInstall() == QStringList{QStringLiteral("pivra")} && inside == tidy;
        };
        ASSERT_TRUE(QTest::qWaitFor(tidied, waitMs))
            << "beside: " << besideInstall().join(u' ').toStdString() << "; in: " << inInstall().join(u' ').toStdString();
        EXPECT_EQ(programAnswer(), started);
    }
    EXPECT_GT(step, 5) << "an install changes more names than that";
}

INSTANTIATE_TEST_SUITE_P(Places, UpdateKillTest, installPlaces, rowName);

struct LinkedVersions {
    const char* name;
    bool versionsIsALink;     // else a link inside it leads out
    const char* startsAfter;  // what the entry starts once the helper has run
};

class UpdateLinkTest : public UpdateEngineTest, public ::testing::WithParamInterface<LinkedVersions> {};

// Whatever a link in the install leads to is not the install's: neither the
// sweep of a start nor an update removes anything there, even what looks
// like a version, nor a folder among the versions that is none.
TEST_P(UpdateLinkTest, RemovesNothingALinkLeadsTo)
{
    const QString elsewhere = pathOf(QStringLiteral("elsewhere"));
    const QString versions = install_ + QStringLiteral("/versions");
    if (GetParam().versionsIsALink) {
        ASSERT_TRUE(QDir().rename(versions, elsewhere));
        ASSERT_TRUE(QFile::link(elsewhere, versions));
    } else {
        ASSERT_TRUE(QFile::link(elsewhere, versions + QStringLiteral("/0.8")));
    }
    const QString notes = writeFile(QStringLiteral("apps/pivra/versions/Notes/notes.txt"), "notes");
    writeFile(QStringLiteral("elsewhere/Photos/photo.jpg"), "photo");
    writeTree(QStringLiteral("elsewhere/0.9"), QStringLiteral("0.9"));
    writeFile(QStringLiteral("elsewhere/.pivra-install"), {});
    const QStringList before = disk(QStringLiteral("elsewhere"));

    recoverInstall(install_, QStringLiteral("1.0")); // a start
    runHelper();
    recoverInstall(install_, QStringLiteral("1.0"));

    EXPECT_EQ(disk(QStringLiteral("elsewhere")).join(u'\n').toStdString(), before.join(u'\n').toStdString());
    EXPECT_EQ(programAnswer(), GetParam().startsAfter);
    EXPECT_TRUE(QFile::exists(notes));
}

INSTANTIATE_TEST_SUITE_P(
    Links, UpdateLinkTest,
    ::testing::Values(LinkedVersions{"versions folder is a link", true, "Pivra 1.0"},
                      LinkedVersions{"link inside the versions folder", false, "Pivra 2.0"}),
    rowName);

// Another session still reads its version's files while it runs: an update
// keeps that version, as does every start while the session lasts, however
// it ends; the next start after it removes the version.
TEST_F(UpdateEngineTest, VersionAnotherCopyRunsFromIsKeptUntilTheNextStartAfterItEnds)
{
    QProcess copy;
    ASSERT_NO_FATAL_FAILURE(startCopy(copy, QStringLiteral("1.0")));
    const QByteArray archive = makeArchive(releaseEntries());
    offer(archive, archive);

    controller().updateNow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(relaunched()); }, waitMs))
        << controller().phase().message.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return besideInstall() == QStringList{QStringLiteral("pivra")}; }, waitMs))
        << besideInstall().join(u' ').toStdString();
    EXPECT_EQ(programAnswer(), "Pivra 2.0");
    QStringList kept = versionedInstall(QStringLiteral("2.0"));
    kept.insert(kept.size() - 1, QStringLiteral("versions/1.0"));
    EXPECT_EQ(inInstall(), kept);
    recoverInstall(install_, QStringLiteral("2.0")); // a start while the copy runs
    EXPECT_EQ(inInstall(), kept);

    copy.kill(); // a crash lets go of it as an ordinary end does
    ASSERT_TRUE(copy.waitForFinished(waitMs));
    controller_.reset();
    controller(); // the next start
    EXPECT_TRUE(QTest::qWaitFor([&] { return inInstall() == versionedInstall(QStringLiteral("2.0")); }, waitMs))
        << inInstall().join(u' ').toStdString();
}

TEST_F(UpdateEngineTest, QuietCheckPreparesTheUpdateAndInstallsItOnRequest)
{
    AppSettings().setValue(QStringLiteral("pivra.updates.automaticDownloads"), true);
    const QByteArray archive = makeArchive(releaseEntries());
    offer(archive, archive);
    controller();

    engine_->checkForUpdatesInBackground();
    ASSERT_TRUE(waitForPhase(Kind::ready)) << controller().phase().message.toStdString();
    EXPECT_FALSE(QFile::exists(relaunched())) << "nothing installs before it is asked";
    controller().updateNow();

    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(relaunched()); }, waitMs));
}

TEST_F(UpdateEngineTest, BackgroundInstallsTenTimesInARow)
{
    AppSettings().setValue(QStringLiteral("pivra.updates.automaticDownloads"), true);
    const QByteArray archive = makeArchive(releaseEntries());
    offer(archive, archive);
    for (int run = 0; run < 10; ++run) {
        SCOPED_TRACE(run);
        controller_.reset();
        ASSERT_NO_FATAL_FAILURE(installVersionOne());
        controller();

        engine_->checkForUpdatesInBackground();
        ASSERT_TRUE(waitForPhase(Kind::ready)) << controller().phase().message.toStdString();
        controller().updateNow();

        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(relaunched()); }, waitMs));
        EXPECT_EQ(installedVersion(), "2.0");
    }
}

struct CheckCase {
    const char* name;
    LoopbackServer::Answer feed;
    Kind expected;
    const char* message;
};

class UpdateCheckTest : public UpdateEngineTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(UpdateCheckTest, EndsWithoutTouchingTheInstall)
{
    const QStringList before = disk();
    server_.answer(QStringLiteral("/feed"), GetParam().feed);

    controller().checkNow();

    ASSERT_TRUE(waitForPhase(GetParam().expected)) << controller().phase().message.toStdString();
    EXPECT_EQ(controller().phase().message.toStdString(), GetParam().message);
    EXPECT_EQ(controller().lastChecked().has_value(), GetParam().expected == Kind::upToDate);
    EXPECT_EQ(disk().join(u'\n').toStdString(), before.join(u'\n').toStdString());
}

const QString offered = QStringLiteral("http://127.0.0.1:1/old.tar.xz");

INSTANTIATE_TEST_SUITE_P(
    Feeds, UpdateCheckTest,
    ::testing::Values(
        CheckCase{"older_and_same_versions",
                  {200, makeFeed({{QStringLiteral("0.9"), offered, 10, QStringLiteral("c2ln")},
                                  {QStringLiteral("1.0"), offered, 10, QStringLiteral("c2ln")}})},
                  Kind::upToDate, ""},
        CheckCase{"missing_feed", {404, "gone"}, Kind::failed,
                  "Pivra couldn't reach pivra.app. Check your internet connection and try again."},
        CheckCase{"not_a_feed", {200, "<html>"}, Kind::failed, "The update feed could not be read."}),
    rowName);

struct Refusal {
    const char* name;
    std::vector<Entry> extra; // added to a good release
    bool withoutMarker;
    bool badSignature;
    bool truncated;
    const char* message;
};

class UpdateRefusalTest : public UpdateEngineTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(UpdateRefusalTest, RefusesWithNothingChangedOnDisk)
{
    const Refusal& refusal = GetParam();
    std::vector<Entry> entries = releaseEntries();
    if (refusal.withoutMarker) {
        std::erase_if(entries, [](const Entry& entry) { return entry.path == u".pivra-install"; });
    }
    for (Entry entry : refusal.extra) {
        entry.path.replace(QStringLiteral("$ROOT"), root());
        entries.push_back(entry);
    }
    const QByteArray archive = makeArchive(entries);
    LoopbackServer::Answer download;
    if (refusal.truncated) {
        download.sendOnly = archive.size() - 100;
    }
    offer(archive, refusal.badSignature ? archive + "tampered" : archive, download);
    const QStringList before = disk();

    controller().updateNow();

    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(), refusal.message);
    EXPECT_TRUE(waitForDisk(before)) << disk().join(u'\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(pathOf(QStringLiteral("escaped"))));
    EXPECT_FALSE(QFileInfo::exists(pathOf(QStringLiteral("absolute"))));
}

INSTANTIATE_TEST_SUITE_P(
    Archives, UpdateRefusalTest,
    ::testing::Values(
        Refusal{"bad_signature", {}, false, true, false, "The update's signature is not valid."},
        Refusal{"truncated_download", {}, false, false, true, "The update download was incomplete."},
        Refusal{"dot_dot_path", {{QStringLiteral("bin/../../../escaped"), Entry::Kind::file, "x"}}, false, false,
                false, "The update holds a file outside its folder."},
        Refusal{"absolute_path", {{QStringLiteral("$ROOT/absolute"), Entry::Kind::file, "x"}}, false, false, false,
                "The update holds a file outside its folder."},
        Refusal{"escaping_link",
                {{QStringLiteral("lib/out"), Entry::Kind::symlink, {}, QStringLiteral("../../../escaped")},
                 {QStringLiteral("lib/out/file"), Entry::Kind::file, "x"}},
                false, false, false, "The update links to a file outside its folder."},
        Refusal{"hard_link_to_a_link",
                {{QStringLiteral("lib/inside"), Entry::Kind::symlink, {}, QStringLiteral("../VERSION")},
                 {QStringLiteral("escaped-link"), Entry::Kind::hardlink, {}, QStringLiteral("lib/inside")}},
                false, false, false, "The update holds a hard link to a link."},
        // Two names apart only in bytes that are not UTF-8 are two files: the
        // link in "a\xFE" does not go through the link "a\xFF".
        Refusal{"link_beside_a_link_named_apart_by_bytes",
                {{fileNameText("a\xFF"), Entry::Kind::symlink, {}, QStringLiteral("d1/d2/d3")},
                 {fileNameText("a\xFE/esc"), Entry::Kind::symlink, {}, QStringLiteral("../../../escaped")}},
                false, false, false, "The update links to a file outside its folder."},
        Refusal{"hard_link_to_a_link_named_apart_by_bytes",
                {{fileNameText("a\xFF"), Entry::Kind::symlink, {}, QStringLiteral("d1/d2/d3")},
                 {fileNameText("a\xFE/inside"), Entry::Kind::symlink, {}, QStringLiteral("../VERSION")},
                 {QStringLiteral("escaped-link"), Entry::Kind::hardlink, {}, fileNameText("a\xFE/inside")}},
                false, false, false, "The update holds a hard link to a link."},
        Refusal{"absolute_link_in_a_folder",
                {{QStringLiteral("lib/etc"), Entry::Kind::symlink, {}, QStringLiteral("/etc")}}, false, false, false,
                "The update links to a file outside its folder."},
        Refusal{"link_chain_climbing_out",
                {{QStringLiteral("lib/l0"), Entry::Kind::symlink, {}, QStringLiteral("..")},
                 {QStringLiteral("lib/l1"), Entry::Kind::symlink, {}, QStringLiteral("l0/..")}},
                false, false, false, "The update links to a file outside its folder."},
        Refusal{"not_an_install_folder", {}, true, false, false, "The update is not a Pivra install folder."}),
    rowName);

struct RelabelCase {
    const char* name;
    const char* signedAs;    // the version the signature was made for
    const char* programSays; // the version the archive's program gives
    const char* message;
};

class UpdateRelabelTest : public UpdateEngineTest, public ::testing::WithParamInterface<RelabelCase> {};

// A signed release listed as a version it is not would install, be offered
// again as the version it is not, and install again without end.
TEST_P(UpdateRelabelTest, IsRefusedWithNothingChangedAndNotFetchedAgain)
{
    listed_ = QStringLiteral("3.0");
    signedAs_ = QString::fromUtf8(GetParam().signedAs);
    const QByteArray archive = makeArchive(releaseEntries(QString::fromUtf8(GetParam().programSays)));
    offer(archive, archive);
    const QStringList before = disk();

    controller().updateNow();
    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(), GetParam().message);
    EXPECT_TRUE(waitForDisk(before)) << disk().join(u'\n').toStdString();

    controller().checkNow();
    ASSERT_TRUE(waitForPhase(Kind::upToDate)) << controller().phase().message.toStdString();
    EXPECT_EQ(server_.requests(archivePath), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Releases, UpdateRelabelTest,
    ::testing::Values(RelabelCase{"signed_as_another_version", "2.0", "3.0", "The update's signature is not valid."},
                      RelabelCase{"program_says_another_version", "3.0", "2.0",
                                  "The update's program says it is Pivra 2.0, not 3.0."}),
    rowName);

TEST_F(UpdateEngineTest, CancelMidDownloadLeavesNoStaging)
{
    const QByteArray archive = makeArchive(noisyRelease(512 * 1024));
    offer(archive, archive, {200, {}, archive.size() / 2, true});
    const QStringList before = disk();

    controller().updateNow();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return controller().phase().kind == Kind::downloading && controller().phase().received > 0; }, waitMs));
    EXPECT_NE(disk(), before) << "the download is staged beside the install";
    controller().cancelUpdate();

    ASSERT_TRUE(waitForPhase(Kind::idle));
    EXPECT_TRUE(waitForDisk(before));
}

TEST_F(UpdateEngineTest, FullDiskAtTheLastWriteIsNamedAsSuch)
{
    // The install on a small disk with room for all of the archive but its
    // last few kilobytes.
    if (!mounts_.mountTmpfs(pathOf(QStringLiteral("apps")), QStringLiteral("pivra-small"), QStringLiteral("size=4m"))) {
        GTEST_SKIP() << mounts_.failure().toStdString();
    }
    ASSERT_NO_FATAL_FAILURE(installVersionOne());
    const QByteArray archive = makeArchive(noisyRelease(1024 * 1024));
    struct statvfs disk {};
    ASSERT_EQ(::statvfs(QFile::encodeName(pathOf(QStringLiteral("apps"))).constData(), &disk), 0);
    const qint64 free = static_cast<qint64>(disk.f_bavail * disk.f_frsize);
    writeFile(QStringLiteral("apps/filler"), QByteArray(free - archive.size() + 2048, 'f'));
    offer(archive, archive);
    const QStringList before = this->disk();

    controller().updateNow();

    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(), "The update could not be saved: the disk is full.");
    EXPECT_TRUE(waitForDisk(before)) << this->disk().join(u'\n').toStdString();
}

struct OversizeCase {
    const char* name;
    bool withoutLength;       // the server does not say how much it sends
    bool announcedInFeed;     // the feed gives the archive's length
};

class UpdateOversizeTest : public UpdateEngineTest, public ::testing::WithParamInterface<OversizeCase> {};

TEST_P(UpdateOversizeTest, StopsAtTheLimitAndLeavesNothingStaged)
{
    const QByteArray archive = makeArchive(releaseEntries());
    QByteArray flood = archive + QByteArray(4 * 1024 * 1024, 'x');
    unannouncedLimit_ = static_cast<std::uint64_t>(archive.size());
    LoopbackServer::Answer download;
    download.withoutLength = GetParam().withoutLength;
    offer(flood, archive, download,
          GetParam().announcedInFeed ? std::optional<quint64>(archive.size()) : std::optional<quint64>(0));
    const QStringList before = disk();

    controller().updateNow();

    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(), "The update download is larger than the feed announced.");
    EXPECT_TRUE(waitForDisk(before)) << disk().join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Downloads, UpdateOversizeTest,
                         ::testing::Values(OversizeCase{"length_header_past_the_feed", false, true},
                                           OversizeCase{"stream_past_the_feed", true, true},
                                           OversizeCase{"stream_past_the_cap_without_feed_length", true, false}),
                         rowName);

TEST_F(UpdateEngineTest, SilentServerFailsTheCheckAndALaterCheckRuns)
{
    transferTimeout_ = std::chrono::milliseconds(300);
    server_.answer(QStringLiteral("/feed"), {.silent = true});

    controller().checkNow();
    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(),
              "Pivra couldn't reach pivra.app. Check your internet connection and try again.");

    // The user may also give up on a slow check.
    controller().checkNow();
    QCoreApplication::sendPostedEvents(); // the engine's answer carries the cancel block
    controller().cancelUpdate();
    ASSERT_TRUE(waitForPhase(Kind::idle));

    server_.answer(QStringLiteral("/feed"), {200, makeFeed({})});
    controller().checkNow();
    EXPECT_TRUE(waitForPhase(Kind::upToDate)) << controller().phase().message.toStdString();
}

struct DripCase {
    const char* name;
    bool archive; // the archive drips; else the feed
    const char* message;
};

class UpdateDripTest : public UpdateEngineTest, public ::testing::WithParamInterface<DripCase> {};

// A server that never falls silent for long still has to finish in the time
// the transfer's length allows.
TEST_P(UpdateDripTest, FailsByItsDeadline)
{
    transferDeadline_ = std::chrono::milliseconds(1500);
    const QByteArray archive = makeArchive(releaseEntries());
    LoopbackServer::Answer dripping;
    dripping.drip = std::chrono::milliseconds(300);
    offer(archive, archive, GetParam().archive ? dripping : LoopbackServer::Answer{});
    if (!GetParam().archive) {
        dripping.body = feedFor(archive, archive.size());
        server_.answer(QStringLiteral("/feed"), dripping);
    }
    const QStringList before = disk();

    controller().updateNow();

    ASSERT_TRUE(waitForPhase(Kind::failed)) << int(controller().phase().kind);
    EXPECT_EQ(controller().phase().message.toStdString(), GetParam().message);
    EXPECT_TRUE(waitForDisk(before)) << disk().join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Transfers, UpdateDripTest,
    ::testing::Values(DripCase{"feed", false,
                               "Pivra couldn't reach pivra.app. Check your internet connection and try again."},
                      DripCase{"archive", true, "The update download was incomplete."}),
    rowName);

TEST_F(UpdateEngineTest, ReleaseBuildRefusesPlainHttpFromThisMachine)
{
    UpdateEngine release(engineConfig(false), controller());
    const std::optional<PivraError> refusal = release.startUpdater();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->description.toStdString(), "The update feed is not a secure address.");
}

TEST_F(UpdateEngineTest, UnsignedReleaseIsReportedAsUnverified)
{
    server_.answer(QStringLiteral("/feed"),
                   {200, makeFeed({{QStringLiteral("2.0"), server_.url(QStringLiteral("/a.tar.xz")).toString(), 10, {}}})});

    controller().checkNow();

    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(),
              "The update could not be verified: the feed gives it no signature.");
}

TEST_F(UpdateEngineTest, KilledInstallLeavesTheOldVersionAndIsSweptAtTheNextStart)
{
    // A staging folder with its update unpacked, as the program hands it over.
    const QString staging = makeFolder(QStringLiteral("apps/.pivra-update-killed"));
    writeFile(QStringLiteral("apps/.pivra-update-killed/root/.pivra-install"), {});
    writeFile(QStringLiteral("apps/.pivra-update-killed/root/VERSION"), "2.0");
    writeFile(QStringLiteral("apps/.pivra-update-killed/root/lib/readonly/file"), "x");
    QFile::setPermissions(staging + QStringLiteral("/root/lib/readonly"), QFile::ReadOwner | QFile::ExeOwner);
    QProcess helper;
    helper.start(QString::fromUtf8(UpdateBuildConfig::helperInBuildTree),
                 {QString::number(program_.processId()), staging, install_, QStringLiteral("bin/pivra")});
    ASSERT_TRUE(helper.waitForStarted());
    // The program is still running, so the helper waits: killed now, the old
    // version stays whole, and the next start sweeps the staging.
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished());
    EXPECT_EQ(installedVersion(), "1.0");

    // A held staging folder belongs to a download or install under way.
    const QString held = makeFolder(QStringLiteral("apps/.pivra-update-held"));
    std::optional<FolderLock> lock = FolderLock::tryTake(held);
    ASSERT_TRUE(lock.has_value());
    controller();

    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return besideInstall() == QStringList{QStringLiteral(".pivra-update-held"), QStringLiteral("pivra")}; },
        waitMs))
        << besideInstall().join(u' ').toStdString();
    EXPECT_EQ(installedVersion(), "1.0");
}

// Nothing staged beside an install folder that is a mount point can be
// renamed into it. The verified update stays beside it, is shown as failed
// at the next start and on every check, and is downloaded again only once
// the install folder has changed.
TEST_F(UpdateEngineTest, UpdateThatCannotGoIntoTheInstallIsKeptAndNotDownloadedAgain)
{
    if (!mounts_.mountTmpfs(install_, QStringLiteral("pivra-install"))) {
        GTEST_SKIP() << mounts_.failure().toStdString();
    }
    ASSERT_NO_FATAL_FAILURE(installVersionOne());
    const QByteArray archive = makeArchive(releaseEntries());
    offer(archive, archive);
    const std::string failure = "Pivra 2.0 could not be installed into the folder " + install_.toStdString()
                                + ": Invalid cross-device link.";

    controller().updateNow();
    // Kept with its note, and let go of by the helper.
    const auto kept = [&] {
        const QStringList staged = QDir(pathOf(QStringLiteral("apps"))).entryList({QStringLiteral(".pivra-update-*")},
                                                                                  QDir::Dirs | QDir::Hidden);
        const QString folder = pathOf(QStringLiteral("apps/") + staged.value(0));
        return staged.size() == 1 && QFileInfo::exists(folder + QStringLiteral("/failure"))
               && FolderLock::tryTake(folder).has_value();
    };
    ASSERT_TRUE(QTest::qWaitFor(kept, waitMs)) << besideInstall().join(u' ').toStdString();
    EXPECT_EQ(installedVersion(), "1.0");

    controller_.reset(); // the program starts again
    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(), failure);
    controller().checkNow();
    ASSERT_TRUE(waitForPhase(Kind::checking));
    ASSERT_TRUE(waitForPhase(Kind::failed));
    EXPECT_EQ(controller().phase().message.toStdString(), failure);
    EXPECT_EQ(server_.requests(archivePath), 1);
    EXPECT_TRUE(kept());

    // The install folder is another one now: the update comes again, and
    // goes in.
    ASSERT_TRUE(mounts_.unmount(install_));
    ASSERT_NO_FATAL_FAILURE(installVersionOne());
    controller().updateNow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(relaunched()); }, waitMs))
        << controller().phase().message.toStdString();
    EXPECT_EQ(server_.requests(archivePath), 2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return besideInstall() == QStringList{QStringLiteral("pivra")}; }, waitMs))
        << besideInstall().join(u' ').toStdString();
}

TEST_F(UpdateEngineTest, ProgramThatWillNotQuitIsOfferedARestart)
{
    quitRefused_ = true;
    const QByteArray archive = makeArchive(releaseEntries());
    offer(archive, archive);

    controller().updateNow();

    ASSERT_TRUE(QTest::qWaitFor([&] { return controller().waitingToQuit(); }, waitMs));
    EXPECT_EQ(controller().phase().kind, Kind::installing);
}

} // namespace
} // namespace pivra::test
