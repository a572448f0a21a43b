#pragma once

#include "platform/share/ShareService.h"

#include <QPoint>

class QWidget;

namespace pivra {

// The small menu of phone names that asks which one a shared file goes to.
// It does not wait: `chosen` hears the picked device's id once, or an empty
// id when the menu closed without a pick.
void chooseShareDevice(QWidget* parent, QPoint globalAt, const QList<ShareService::Device>& devices,
                       std::function<void(const QString& id)> chosen);

} // namespace pivra
