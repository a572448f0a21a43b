#pragma once

#include <QWidget>

class QLabel;

namespace pivra {

// The small card over an empty map that says why it is empty: locations
// are still being read, or no photo has one.
class MapEmptyCard : public QWidget {
    Q_OBJECT

public:
    explicit MapEmptyCard(QWidget* parent = nullptr);

    void setReading(bool reading);
    QString title() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* symbol_;
    QLabel* title_;
    QLabel* explanation_;
};

} // namespace pivra
