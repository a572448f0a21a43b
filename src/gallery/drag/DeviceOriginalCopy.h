#pragma once

#include "catalog/model/MediaItem.h"
#include "platform/PivraError.h"

#include <QString>

#include <memory>
#include <optional>

namespace pivra {

class CameraSourceManager;
struct CameraExportProgress;

// A device original copied into a share folder of its own in the background.
// A drag of a device original starts one as it begins, so that a drop target
// asking for the file later is answered at once: with the whole copy, or,
// while the copy still runs, with nothing. The copy is written under its own
// name from the start, but its path is handed out only once it is complete,
// so no one is ever given part of a file.
//
// GUI thread; the copy itself runs on the device's thread, and its end is
// posted back here. The object may go before the copy ends: the copy then
// goes on to its end unobserved.
class DeviceOriginalCopy : public std::enable_shared_from_this<DeviceOriginalCopy> {
public:
    enum class State { copying, ready, failed };

    // Starts copying `item`'s original into `folder`, which is its own.
    static std::shared_ptr<DeviceOriginalCopy> start(CameraSourceManager& cameras, const MediaItem& item,
                                                     const QString& folder);
    // A copy that could not even start.
    static std::shared_ptr<DeviceOriginalCopy> failed(PivraError error);

    DeviceOriginalCopy(const DeviceOriginalCopy&) = delete;
    DeviceOriginalCopy& operator=(const DeviceOriginalCopy&) = delete;

    State state() const { return state_; }
    // The whole copy, once ready; empty before.
    QString readyPath() const { return state_ == State::ready ? path_ : QString(); }
    const std::optional<PivraError>& error() const { return error_; }
    // How much of the original is copied, 0 to 1; 0 while the size is unknown.
    double fraction() const;

    // No one will ask for the copy: a running copy stops, and the copy's
    // file and folder go (off the GUI thread), now or once it has stopped.
    void discard();

private:
    DeviceOriginalCopy(QString folder, QString path, std::int64_t size);
    void finished(std::optional<PivraError> error);

    const QString folder_;
    const QString path_;
    const std::int64_t size_;
    const std::shared_ptr<CameraExportProgress> progress_;
    State state_ = State::copying;
    std::optional<PivraError> error_;
};

} // namespace pivra
