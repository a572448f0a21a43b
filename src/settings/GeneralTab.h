#pragma once

#include "style/appearance/PivraColorMode.h"

#include <QWidget>

#include <functional>

class QAbstractButton;
class QButtonGroup;
class QVBoxLayout;

namespace pivra {

// The preferences' General tab: the Appearance card, whose Theme picker
// writes "pivra.appearance" and has it applied at once, and below it the
// place of the updates section.
class GeneralTab final : public QWidget {
    Q_OBJECT

public:
    // `applyAppearance` runs after each choice has been stored (the
    // appearance controller reading it again); none only stores it.
    explicit GeneralTab(std::function<void()> applyAppearance = {}, QWidget* parent = nullptr);

    // Puts `section` (the updates section) under the Appearance card, taking
    // it over; a later call replaces, and deletes, the section set before.
    void setUpdateSection(QWidget* section);
    QWidget* updateSection() const { return updateSection_; }

    // The picker's segment of a mode ("System", "Light", "Dark").
    QAbstractButton* themeButton(PivraColorMode mode) const;

private:
    void choose(PivraColorMode mode);

    std::function<void()> applyAppearance_;
    QVBoxLayout* column_;
    QButtonGroup* theme_;
    QWidget* updateSection_ = nullptr;
};

} // namespace pivra
