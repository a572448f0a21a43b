#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QVBoxLayout;

namespace pivra {

// A titled group of settings: the title line (with an optional control at
// its trailing end) over a rounded panel tinted with the text colour at 0.04
// and edged at 0.08, whose rows touch. Every tab of the preferences is built
// from these and PreferenceRow.
class PreferenceCard final : public QWidget {
    Q_OBJECT

public:
    explicit PreferenceCard(const QString& title, QWidget* accessory = nullptr, QWidget* parent = nullptr);

    // Appends to the panel; `row` is taken over.
    void addRow(QWidget* row);
    // A hairline across the panel, starting `inset` from its leading edge.
    void addDivider(int inset);
    QVBoxLayout* rows() const { return rows_; }

private:
    QVBoxLayout* rows_;
};

// One setting in a card: its title, an optional subtitle that wraps onto as
// many lines as it needs, at least 12 of space, then its control. An empty
// subtitle still takes its line; only an absent one leaves the title alone.
class PreferenceRow final : public QWidget {
    Q_OBJECT

public:
    PreferenceRow(const QString& title, const std::optional<QString>& subtitle, QWidget* accessory,
                  QWidget* parent = nullptr);

    // Only a row made with a subtitle has one to change.
    void setSubtitle(const QString& subtitle);
    QLabel* titleLabel() const { return title_; }
    QLabel* subtitleLabel() const { return subtitle_; }
    QWidget* accessory() const { return accessory_; }

private:
    QLabel* title_;
    QLabel* subtitle_ = nullptr;
    QWidget* accessory_;
};

// A hairline across a card's panel, starting `inset` from its leading edge.
class PreferenceDivider final : public QWidget {
public:
    explicit PreferenceDivider(int inset, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int inset_;
};

// A button of a tab carrying this property (true) answers Return in the
// preferences sheet in place of "Done", while it is shown and enabled.
inline constexpr char returnActionProperty[] = "pivraReturnAction";

// A label in the secondary text colour of whichever scheme is shown.
QLabel* secondaryLabel(const QString& text, double pixelSize, QWidget* parent = nullptr);

// Side by side with 8 between, as one accessory: a size and its button.
QWidget* accessoryGroup(std::initializer_list<QWidget*> widgets, QWidget* parent = nullptr);

} // namespace pivra
