#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace pivra {

// A notice that fills the content column: a symbol, a title and a line of
// explanation, centred, followed by the buttons that lead out of it.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    explicit EmptyState(QWidget* parent = nullptr);

    // Replaces the words and drops the buttons.
    void setContent(const QString& title, const QString& symbol, const QString& description);
    QPushButton* addButton(const QString& text, std::function<void()> action);

    QString title() const;
    QString description() const;
    QString symbol() const { return symbol_; }
    QList<QPushButton*> buttons() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void paintSymbol();

    QString symbol_;
    QLabel* symbolLabel_;
    QLabel* title_;
    QLabel* description_;
    QVBoxLayout* buttons_;
};

} // namespace pivra
