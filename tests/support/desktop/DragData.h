#pragma once

#include "gallery/drag/MediaPasteboard.h"

#include <QMimeData>
#include <QObject>
#include <QTest>

#include <memory>
#include <optional>

namespace pivra::test {

// What a drag of `item` carries, once the pasteboard has said: as a press
// that is held gets it.
inline std::unique_ptr<QMimeData> awaitDragData(const MediaPasteboard& pasteboard, const MediaItem& item)
{
    QObject context;
    std::optional<std::unique_ptr<QMimeData>> answer;
    pasteboard.dragData(item, &context, [&answer](std::unique_ptr<QMimeData> data) { answer = std::move(data); });
    EXPECT_TRUE(QTest::qWaitFor([&answer] { return answer.has_value(); }, 30000)) << "the pasteboard never answered";
    return answer ? std::move(*answer) : nullptr;
}

} // namespace pivra::test
