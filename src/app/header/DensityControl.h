#pragma once

#include <QWidget>

class QAbstractButton;
class QShortcut;

namespace pivra {

class LibraryWindow;

// The two round buttons that step the gallery's row height down and up,
// with Ctrl+- and Ctrl+= (or Ctrl++) while its keys are enabled. The keys
// belong to the parent, so they keep working while the header folds the
// control away and hides it. Each button is disabled at its end of the steps.
class DensityControl final : public QWidget {
    Q_OBJECT

public:
    explicit DensityControl(LibraryWindow& window, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    void setKeysEnabled(bool enabled);

    QAbstractButton* smallerButton() const { return smaller_; }
    QAbstractButton* largerButton() const { return larger_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void step(bool up);
    void refresh();

    LibraryWindow& window_;
    QAbstractButton* smaller_;
    QAbstractButton* larger_;
    QList<QShortcut*> keys_;
};

} // namespace pivra
