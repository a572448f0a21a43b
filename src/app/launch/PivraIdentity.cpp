#include "app/launch/PivraIdentity.h"

#include "platform/AppSettings.h"
#include "platform/updates/UpdateBuildConfig.h"

#include <QApplication>
#include <QIcon>

namespace pivra::PivraIdentity {

void applyNames()
{
    QApplication::setApplicationName(QStringLiteral("Pivra"));
    QApplication::setOrganizationName(QStringLiteral("Pivra"));
    QApplication::setApplicationVersion(QString::fromUtf8(UpdateBuildConfig::version));
    QGuiApplication::setDesktopFileName(desktopFileName);
}

void applyIcon()
{
    QApplication::setWindowIcon(
        QIcon::fromTheme(desktopFileName, QIcon(QStringLiteral(":/pivra/identity/com.brindlecove.pivra.svg"))));
}

void removeLegacyCustomization()
{
    const QString keys[] = {QStringLiteral("pivra.identity.titleColor"), QStringLiteral("pivra.identity.shortcutColor"),
                            QStringLiteral("pivra.identity.iconColor")};
    AppSettings settings;
    // No custom application icon exists here to take away with the colour;
    // only the settings go.
    for (const QString& key : keys) {
        settings.remove(key);
    }
}

} // namespace pivra::PivraIdentity
