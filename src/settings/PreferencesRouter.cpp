#include "settings/PreferencesRouter.h"

#include "platform/runtime/MainThread.h"

#include <QCoreApplication>

namespace pivra {

QString PreferencesRouter::rawValue(Pane pane)
{
    switch (pane) {
    case Pane::general:
        return QStringLiteral("General");
    case Pane::storage:
        return QStringLiteral("Storage");
    case Pane::processes:
        return QStringLiteral("Processes");
    }
    return {};
}

std::optional<PreferencesRouter::Pane> PreferencesRouter::paneFromRawValue(const QString& raw)
{
    for (const Pane pane : allPanes) {
        if (rawValue(pane) == raw) {
            return pane;
        }
    }
    return std::nullopt;
}

PreferencesRouter::PreferencesRouter(QObject* parent)
    : QObject(parent)
{
}

PreferencesRouter& PreferencesRouter::shared()
{
    assertMainThread();
    static PreferencesRouter* const router = new PreferencesRouter(QCoreApplication::instance());
    return *router;
}

void PreferencesRouter::setRequest(std::optional<Pane> pane)
{
    assertMainThread();
    request_ = pane;
    Q_EMIT requestWritten(pane);
}

} // namespace pivra
