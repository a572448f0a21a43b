#pragma once

#include <QFont>
#include <QString>

class QLabel;
class QPalette;
class QWidget;

namespace pivra {

// The sidebar's secondary text: a label drawn in the primary ink at
// `opacity`, whatever the scheme; tintSecondary gives it that ink under
// `colours` again once the scheme changes.
QLabel* secondaryLabel(const QString& text, const QFont& font, double opacity, QWidget* parent);
void tintSecondary(QLabel* label, const QPalette& colours);

// A section heading of the list: small bold capitals spaced apart, inset to
// line up with the rows' symbols.
QLabel* sidebarHeading(const QString& title, QWidget* parent);

} // namespace pivra
