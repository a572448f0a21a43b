#pragma once

#include <QObject>

#include <optional>

namespace pivra {

// What the desktop says about the look it wants. Each answer is absent until
// the desktop has said something; `changed` follows every new answer.
class DesktopSettings : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual std::optional<bool> prefersDark() const = 0;
    virtual std::optional<bool> prefersReducedMotion() const = 0;

Q_SIGNALS:
    void changed();
};

} // namespace pivra
