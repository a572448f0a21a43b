#pragma once

#include "settings/PivraPreferences.h"

#include <QObject>
#include <QPointer>

namespace pivra {

// Shows the preferences as a window-modal sheet over `window`: at the General
// tab when asked directly (the sidebar's row), and at the pane of every
// request the router publishes, a repeated one included. While a sheet is
// open a request switches its tab; closing it sets the request back to none.
class PreferencesPresenter final : public QObject {
    Q_OBJECT

public:
    PreferencesPresenter(QWidget& window, LibraryStore& store, PreferencesServices services,
                         PreferencesRouter& router = PreferencesRouter::shared());

    void showAt(PreferencesRouter::Pane pane);
    // The sheet shown now, if any.
    PivraPreferences* sheet() const { return sheet_; }

Q_SIGNALS:
    void sheetShown(pivra::PivraPreferences* sheet);

private:
    QWidget& window_;
    LibraryStore& store_;
    PreferencesServices services_;
    PreferencesRouter& router_;
    QPointer<PivraPreferences> sheet_;
};

} // namespace pivra
