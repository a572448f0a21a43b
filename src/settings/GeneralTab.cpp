#include "settings/GeneralTab.h"

#include "settings/PreferenceCard.h"
#include "platform/AppSettings.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

namespace pivra {

namespace {

// "system" → "System": the segment shows the raw value capitalised.
QString segmentTitle(PivraColorMode mode)
{
    QString title = rawValue(mode);
    title[0] = title[0].toUpper();
    return title;
}

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
        auto* segment = new QPushButton(segmentTitle(mode), picker);
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
