#include "settings/GeneralTab.h"

#include "settings/PreferenceCard.h"
#include "platform/AppSettings.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace pivra {

namespace {

// "system" → "System": the segment shows the raw value capitalised.
QString segmentTitle(PivraColorMode mode)
{
    QString title = rawValue(mode);
    title[0] = title[0].toUpper();
    return title;
}

// One segment of the Theme picker. The style draws a checked button only a
// shade darker than the others, which the dark scheme's greys swallow: the
// chosen segment is filled with the accent instead, from the palette of the
// moment, so it follows a change of scheme.
class ThemeSegment final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!isChecked()) {
            QPushButton::paintEvent(event);
            return;
        }
        QStyleOptionButton option;
        initStyleOption(&option);
        option.palette.setColor(QPalette::Button, palette().color(QPalette::Highlight));
        option.palette.setColor(QPalette::ButtonText, palette().color(QPalette::HighlightedText));
        QStylePainter(this).drawControl(QStyle::CE_PushButton, option);
    }
};

} // namespace

GeneralTab::GeneralTab(std::function<void()> applyAppearance, QWidget* parent)
    : QWidget(parent)
    , applyAppearance_(std::move(applyAppearance))
{
    column_ = new QVBoxLayout(this);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(20);

    auto* picker = new QWidget(this);
    picker->setAccessibleName(QStringLiteral("Theme"));
    picker->setFixedWidth(220);
    auto* segments = new QHBoxLayout(picker);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    theme_ = new QButtonGroup(this);
    const PivraColorMode stored =
        colorModeFromRawValue(AppSettings().value(appearanceSettingKey).toString()).value_or(PivraColorMode::system);
    for (const PivraColorMode mode : allColorModes) {
        auto* segment = new ThemeSegment(segmentTitle(mode), picker);
        segment->setCheckable(true);
        segment->setChecked(mode == stored);
        segment->setFocusPolicy(Qt::TabFocus);
        theme_->addButton(segment, static_cast<int>(mode));
        segments->addWidget(segment);
    }
    connect(theme_, &QButtonGroup::idClicked, this, [this](int id) { choose(static_cast<PivraColorMode>(id)); });

    auto* appearance = new PreferenceCard(QStringLiteral("Appearance"), nullptr, this);
    appearance->addRow(new PreferenceRow(QStringLiteral("Theme"),
                                         QStringLiteral("System follows your desktop appearance setting."), picker));
    column_->addWidget(appearance);
    column_->addStretch(1);
}

void GeneralTab::setUpdateSection(QWidget* section)
{
    delete updateSection_;
    updateSection_ = section;
    if (section != nullptr) {
        column_->insertWidget(1, section);
    }
}

QAbstractButton* GeneralTab::themeButton(PivraColorMode mode) const
{
    return theme_->button(static_cast<int>(mode));
}

void GeneralTab::choose(PivraColorMode mode)
{
    AppSettings().setValue(appearanceSettingKey, rawValue(mode));
    if (applyAppearance_) {
        applyAppearance_();
    }
}

} // namespace pivra
