#include "settings/PreferencesPresenter.h"

namespace pivra {

PreferencesPresenter::PreferencesPresenter(QWidget& window, LibraryStore& store, PreferencesServices services,
                                           PreferencesRouter& router)
    : QObject(&window)
    , window_(window)
    , store_(store)
    , services_(std::move(services))
    , router_(router)
{
    const auto follow = [this](std::optional<PreferencesRouter::Pane> request) {
        if (request) {
            showAt(*request);
        }
    };
    connect(&router_, &PreferencesRouter::requestWritten, this, follow);
    // A request made before the window was there opens the sheet now.
    follow(router_.request());
}

void PreferencesPresenter::showAt(PreferencesRouter::Pane pane)
{
    if (sheet_) {
        sheet_->selectTab(pane);
        return;
    }
    sheet_ = new PivraPreferences(pane, store_, services_, router_, &window_);
    sheet_->setAttribute(Qt::WA_DeleteOnClose);
    sheet_->setWindowModality(Qt::WindowModal);
    connect(sheet_, &QDialog::finished, this, [this] { router_.setRequest(std::nullopt); });
    sheet_->open();
    Q_EMIT sheetShown(sheet_);
}

} // namespace pivra
