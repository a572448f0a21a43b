#include "app/sidebar/SourceRemoval.h"

#include "style/ByteCountText.h"
#include "style/CountText.h"
#include "app/window/WindowAlerts.h"

#include <QPointer>

namespace pivra {

QString removalQuestion(const QString& sourceName)
{
    return QStringLiteral("Delete thumbnails along with “%1”?").arg(sourceName);
}

QString removalDetails(const RemovalFootprint& footprint, const QLocale& locale)
{
    QString text = countText(footprint.count, QStringLiteral("thumbnail"), locale);
    if (footprint.previews >= 1) {
        text += QStringLiteral(" and ") + countText(footprint.previews, QStringLiteral("video preview"), locale);
    }
    return text + QStringLiteral(" · ") + byteCountText(footprint.bytes, locale) +
           QStringLiteral("\n\nRemoving the source disconnects it from Pivra. Your original photos and videos are "
                          "not touched.");
}

Task<> confirmRemoval(LibraryStore* store, AlertPresenter* alerts, LibrarySource source)
{
    const RemovalFootprint footprint = co_await store->removableThumbnails(source.id);
    if (footprint.count + footprint.previews < 1) {
        store->removeSource(source.id, {});
        co_return;
    }
    WindowAlert alert;
    alert.title = removalQuestion(source.name);
    alert.text = removalDetails(footprint);
    alert.buttons = {QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("Cancel")};
    alert.answer = [target = QPointer<LibraryStore>(store), id = source.id, keys = footprint.keys](int button) {
        if (target && button == 0) {
            target->removeSource(id, keys);
        } else if (target && button == 1) {
            target->removeSource(id, {});
        }
    };
    alerts->present(std::move(alert));
}

} // namespace pivra
