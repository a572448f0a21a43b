#pragma once

#include "gallery/drag/MediaPasteboard.h"

#include <QMimeData>
#include <QtGlobal>

namespace pivra {

// What one press of the button may drag out. The pasteboard's answer (found
// off the GUI thread for a file) comes back after the press began; it is
// handed on only while that press lasts, so no drag starts once the button
// is up, nor for an earlier press than the one held now.
class DragRequest {
public:
    // A press began or ended: answers still owed to earlier asks are dropped.
    void restart() { ++press_; }

    // Asks `pasteboard` what a drag of `item` carries, for `onData` on the
    // GUI thread while `context` lives and this press lasts. The request must
    // live as long as `context`.
    void ask(const MediaPasteboard& pasteboard, const MediaItem& item, QObject* context,
             MediaPasteboard::DragDataHandler onData)
    {
        pasteboard.dragData(item, context,
                            [this, asked = press_, onData = std::move(onData)](std::unique_ptr<QMimeData> data) {
                                if (asked == press_) {
                                    onData(std::move(data));
                                }
                            });
    }

private:
    quint64 press_ = 0;
};

} // namespace pivra
