#pragma once

#include "catalog/scan/MediaInspector.h"

#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace pivra::test {

// An inspector that reads nothing but the file-system values it is given,
// counts what it is asked, and can hold an inspection until a test lets go.
// ".jpg" files are photos, ".mov" files videos, in either case; "live-*.jpg"
// files carry the Live Photo identifier "LIVE".
class FakeInspector final : public MediaInspector {
public:
    std::optional<MediaKind> kind(const QString& path) const override
    {
        const qsizetype dot = path.lastIndexOf(u'.');
        return dot < 0 ? std::nullopt : kindOfExtension(path.mid(dot + 1).toLower().toStdString());
    }

    std::optional<MediaKind> kindOfExtension(std::string_view extension) const override
    {
        if (extension == "jpg") {
            return MediaKind::image;
        }
        if (extension == "mov") {
            return MediaKind::video;
        }
        return std::nullopt;
    }

    Inspection inspect(const QString& path, const QUuid& sourceID, const FileValues& values,
                       MediaKind kind) const override
    {
        if (gate && gate(path)) {
            while (!released.load()) {
                std::this_thread::yield();
            }
        }
        {
            const std::lock_guard lock(mutex_);
            inspected_.append(path);
        }
        MediaItem item;
        item.setID(MediaItem::makeID(sourceID, path));
        item.setSourceID(sourceID);
        item.setPath(path);
        item.setName(path.section(u'/', -1));
        item.setKind(kind);
        item.setModifiedAt(values.contentModificationDate.value_or(distantPast));
        item.setCaptureDate(item.modifiedAt());
        item.setDateOrigin(QStringLiteral("File modification"));
        item.setWidth(100);
        item.setHeight(80);
        item.setFileSize(values.fileSize.value_or(0));
        item.setLiveIdentifier(identifierOf(path));
        return {item, !(unreadable && unreadable(path))};
    }

    std::optional<QString> livePhotoIdentifier(const QString& path, MediaKind) const override
    {
        ++liveLookups_;
        return identifierOf(path);
    }

    QStringList inspected() const
    {
        const std::lock_guard lock(mutex_);
        return inspected_;
    }
    int liveLookups() const { return liveLookups_.load(); }

    // Paths this accepts count as files that could not be read.
    std::function<bool(const QString&)> unreadable;

    // Inspections of paths this accepts wait until `released` is set.
    std::function<bool(const QString&)> gate;
    mutable std::atomic<bool> released{false};

private:
    static std::optional<QString> identifierOf(const QString& path)
    {
        return path.section(u'/', -1).startsWith(QStringLiteral("live-")) ? std::optional(QStringLiteral("LIVE"))
                                                                          : std::nullopt;
    }

    mutable std::mutex mutex_;
    mutable QStringList inspected_;
    mutable std::atomic<int> liveLookups_{0};
};

} // namespace pivra::test
