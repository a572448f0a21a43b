#pragma once
// A library store over a catalog file and a settings file in a temporary
// folder, with no camera manager.

#include "catalog/model/LibrarySource.h"
#include "catalog/MediaCatalog.h"
#include "catalog/MediaRowWriter.h"
#include "platform/AppSettings.h"
#include "platform/folders/FolderBookmark.h"
#include "platform/folders/VolumeFacts.h"
#include "store/sources/FolderPicker.h"
#include "store/LibraryStore.h"
#include "support/system/SettingsSandbox.h"
#include "support/system/TempFolder.h"

#include <QFileInfo>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace pivra::test {

inline LibrarySource folderSource(const QString& name, bool online)
{
    LibrarySource source;
    source.id = QUuid::createUuid();
    source.name = name;
    source.lastKnownPath = u"/photos/" + name;
    source.isOnline = online;
    return source;
}

// A folder source as adding `path` records it.
inline LibrarySource folderSourceAt(const QString& path)
{
    LibrarySource source;
    source.id = QUuid::createUuid();
    source.name = QFileInfo(path).fileName();
    source.bookmark = FolderBookmark::make(path)->encode();
    source.lastKnownPath = path;
    source.volumePath = volumeFacts(path)->rootPath;
    return source;
}

// Answers each question with the next scripted choice (none: cancelled), and
// remembers the questions.
class ScriptedFolderPicker : public FolderPicker {
public:
    std::optional<QStringList> chooseFolders(const QString& message, bool several, const QString& startPath) override
    {
        questions.append(message);
        severalAllowed.append(several);
        startPaths.append(startPath);
        if (whileOpen) {
            whileOpen(); // what the event loop runs while the dialog is up
        }
        if (answers.empty()) {
            return std::nullopt;
        }
        std::optional<QStringList> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<QStringList>> answers;
    QStringList questions;
    QList<bool> severalAllowed;
    QStringList startPaths;
    std::function<void()> whileOpen;
};

class StoreTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        settings_.emplace(root());
        catalogPath_ = pathOf(QStringLiteral("Catalog.sqlite"));
    }
    void TearDown() override { settings_.reset(); }

    // Writes one image row of `source` per relative path into the catalog,
    // each with a capture date and size of its own, so none is taken for a
    // copy of another.
    void writeRows(const LibrarySource& source, const QStringList& relativePaths)
    {
        const MediaCatalog schema(catalogPath_);
        MediaRowWriter writer(catalogPath_);
        sqlite::Transaction transaction(writer.db());
        for (const QString& path : relativePaths) {
            MediaRow row = folderRow(source.id, path);
            row.captured += ++rowsWritten_;
            row.fileSize += rowsWritten_;
            writer.insert(row);
        }
        transaction.commit();
    }

    void storeSources(const QByteArray& value) { AppSettings().setValue(LibraryStore::sourcesKey, value); }

    // A store over the test's catalog file unless `services` opens another.
    std::unique_ptr<LibraryStore> makeStore(LibraryServices services = {})
    {
        if (!services.openCatalog) {
            services.openCatalog = [path = catalogPath_] { return std::make_unique<MediaCatalog>(path); };
        }
        if (!services.places) {
            services.places = [](const QString&) -> std::optional<QStringList> { return std::nullopt; };
        }
        // A probe of a missing folder looks for it on its disk, whose reads,
        // on a test machine whose disk every suite shares, can add up to the
        // time a user waits, and the folder would count as a hung share.
        // Tests of that limit bring a probe of their own and keep it.
        if (!services.probeFolder) {
            services.probeTimeLimit = std::chrono::seconds(30);
        }
        return std::make_unique<LibraryStore>(std::move(services));
    }

    QString catalogPath_;

private:
    int rowsWritten_ = 0;
    std::optional<SettingsSandbox> settings_;
};

} // namespace pivra::test
