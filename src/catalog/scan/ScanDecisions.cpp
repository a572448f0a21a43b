#include "catalog/scan/ScanDecisions.h"

#include "catalog/scan/ParallelRuns.h"
#include "platform/folders/FileNameText.h"
#include "platform/runtime/Cancelled.h"

#include <QDir>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pivra {

namespace {

// The bytes of the ids of the walk's files up to their relative paths.
std::string pathIDHead(const ScanInputs& inputs)
{
    return fileNameBytes(QString(MediaItem::makeID(inputs.sourceID, QString()) + inputs.walk->files.root() + u'/'))
        .toStdString();
}

class BatchDecider {
public:
    explicit BatchDecider(const ScanInputs& inputs)
        : inputs_(inputs), idPrefix_(MediaItem::makeID(inputs.sourceID, QString())), pathIDHead_(pathIDHead(inputs))
    {
    }

    // Decides the walk's file `index`; answers false when it is passed over.
    // The file's strings are made only when a decision needs them: an
    // unchanged file of a rescan is told by its extension and found by the
    // bytes of its path.
    bool decide(std::size_t index)
    {
        const WalkedFiles& files = inputs_.walk->files;
        std::optional<WalkedFile> madeFile;
        const auto file = [&]() -> const WalkedFile& {
            if (!madeFile) {
                madeFile = files[index];
            }
            return *madeFile;
        };
        std::optional<MediaKind> kind = inputs_.inspector->kindOfExtension(extensionOf(index));
        if (!kind) {
            kind = inputs_.inspector->kind(file().path);
        }
        if (!kind) {
            return false;
        }
        const std::string_view relative = files.relativeBytes(index);
        const FileValues values = files.values(index);
        const double modified = values.contentModificationDate.value_or(distantPast);
        const std::int64_t size = values.fileSize.value_or(0);
        const ScanFingerprints& fingerprints = *inputs_.fingerprints;

        if (const std::optional<KnownRow> known = fingerprints.rowByID(pathIDHead_, relative)) {
            if (!known->fingerprint.matches(modified, size)) {
                inspect(file(), *kind);
                return true;
            }
            if (fingerprints.relativeIs(known->row, relative)) {
                batch_.untouched.push_back(known->row);
            } else {
                batch_.unchanged.push_back({idOf(file()), file().relative});
            }
            if (!known->fingerprint.liveChecked) {
                lookUpLiveIdentifier(idOf(file()), file(), *kind);
            }
            return true;
        }
        const std::optional<RelativeFingerprint> moved = fingerprints.byRelative(file().relative);
        if (moved && moved->fingerprint.matches(modified, size)
            && mayHaveMovedHere(moved->id, file().relative)) {
            batch_.relocated.push_back({moved->id, idOf(file()), file().path, file().relative});
            if (!moved->fingerprint.liveChecked) {
                lookUpLiveIdentifier(idOf(file()), file(), *kind);
            }
            return true;
        }
        inspect(file(), *kind);
        return true;
    }

    ScanBatch finish(int parallelReads)
    {
        runInParallel(reads_, parallelReads);
        return std::move(batch_);
    }

private:
    // The lower-cased extension of the walk's file `index`, when it is short
    // ASCII; empty otherwise.
    std::string_view extensionOf(std::size_t index)
    {
        constexpr std::size_t longest = sizeof(extension_);
        const std::string_view relative = inputs_.walk->files.relativeBytes(index);
        const std::size_t dot = relative.rfind('.');
        if (dot == std::string_view::npos || relative.find('/', dot) != std::string_view::npos
            || relative.size() - dot - 1 > longest) {
            return {};
        }
        const std::string_view extension = relative.substr(dot + 1);
        for (std::size_t at = 0; at < extension.size(); ++at) {
            const unsigned char byte = static_cast<unsigned char>(extension[at]);
            if (byte >= 0x80) {
                return {}; // lower-casing beyond ASCII is kind()'s business
            }
            extension_[at] = static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte);
        }
        return {extension_, extension.size()};
    }

    QString idOf(const WalkedFile& file) const { return idPrefix_ + file.path; }

    // For a known row whose Live Photo identifier was never looked for.
    void lookUpLiveIdentifier(const QString& id, const WalkedFile& file, MediaKind kind)
    {
        const std::size_t slot = batch_.liveUpdates.size();
        batch_.liveUpdates.push_back({id, std::nullopt});
        reads_.push_back([this, slot, file, kind] {
            batch_.liveUpdates[slot].identifier = inputs_.inspector->livePhotoIdentifier(file.path, kind);
        });
    }

    void inspect(const WalkedFile& file, MediaKind kind)
    {
        const std::size_t slot = batch_.changed.size();
        batch_.changed.push_back({MediaItem(), file.relative, true, true});
        reads_.push_back([this, slot, file, kind] {
            Inspection inspection = inputs_.inspector->inspect(file.path, inputs_.sourceID, file.values, kind);
            batch_.changed[slot].item = std::move(inspection.item);
            batch_.changed[slot].fileRead = inspection.fileRead;
            batch_.changed[slot].decodable = inspection.decodable;
        });
    }

    // Whether the row `rowID` may be the file at `relative` under another
    // root path. A row whose path lies inside the current root (as given or
    // resolved) is a file this walk reaches by its own path: it is this file
    // only when the rest of its path, read as a path, is this file's relative
    // path (the same folder spelled another way: through a link, with "/." in
    // it). Otherwise
    // it is another file that has the same relative path below some other
    // folder, as when the root changes to its parent or a child folder, and
    // taking it would hand that file's favourite and albums to this one.
    bool mayHaveMovedHere(const QString& rowID, const QString& relative) const
    {
        const QStringView rowPath = QStringView(rowID).mid(rowID.indexOf(u':') + 1);
        for (const QString& prefix : inputs_.rootPrefixes) {
            if (rowPath.startsWith(prefix)) {
                return QDir::cleanPath(rowPath.mid(prefix.size()).toString()) == relative;
            }
        }
        return true;
    }

    const ScanInputs& inputs_;
    const QString idPrefix_; // an item id without its path, made once rather than per file
    // The bytes of an item id up to the relative path.
    const std::string pathIDHead_;
    char extension_[8] = {};
    ScanBatch batch_;
    // Filled in place once every decision is made, so the lists no longer grow.
    // Each read holds its own copy of its file: the walk makes them on demand.
    std::vector<std::function<void()>> reads_;
};

} // namespace

bool holdsKnownFile(const ScanInputs& inputs, const CancelToken& cancel)
{
    const std::string head = pathIDHead(inputs);
    const WalkedFiles& files = inputs.walk->files;
    const ScanFingerprints& fingerprints = *inputs.fingerprints;
    for (std::size_t index = 0; index < files.size(); ++index) {
        if (cancel.isCancelled()) {
            throw Cancelled();
        }
        const FileValues values = files.values(index);
        const double modified = values.contentModificationDate.value_or(distantPast);
        const std::int64_t size = values.fileSize.value_or(0);
        if (const std::optional<KnownRow> known = fingerprints.rowByID(head, files.relativeBytes(index));
            known && known->fingerprint.matches(modified, size)) {
            return true;
        }
        if (const std::optional<RelativeFingerprint> moved = fingerprints.byRelative(files[index].relative);
            moved && moved->fingerprint.matches(modified, size)) {
            return true;
        }
    }
    return false;
}

DecidedBatch decideBatch(const ScanInputs& inputs, std::size_t first, std::size_t batchSize, int parallelReads,
                         const CancelToken& cancel)
{
    BatchDecider decider(inputs);
    const WalkedFiles& files = inputs.walk->files;
    std::size_t next = first;
    std::size_t decisions = 0;
    while (next < files.size() && decisions < batchSize) {
        if (cancel.isCancelled()) {
            throw Cancelled();
        }
        if (decider.decide(next++)) {
            ++decisions;
        }
    }
    return {decider.finish(parallelReads), next};
}

} // namespace pivra
