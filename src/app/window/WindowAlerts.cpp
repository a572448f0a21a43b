#include "app/window/WindowAlerts.h"

#include "store/LibraryStore.h"

#include <QMessageBox>
#include <QPushButton>

namespace pivra {

AlertPresenter::AlertPresenter(QWidget& window) : QObject(&window), window_(window) {}

AlertPresenter::~AlertPresenter()
{
    if (box_) {
        box_->disconnect(this);
        box_->deleteLater();
    }
}

void AlertPresenter::present(WindowAlert alert)
{
    waiting_.push_back(std::move(alert));
    showNext();
}

void AlertPresenter::showNext()
{
    if (shown_ || waiting_.empty()) {
        return;
    }
    shown_ = std::move(waiting_.front());
    waiting_.pop_front();
    auto* box = new QMessageBox(&window_);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(shown_->title);
    box->setText(shown_->title);
    box->setInformativeText(shown_->text);
    QList<QPushButton*> buttons;
    for (qsizetype index = 0; index < shown_->buttons.size(); ++index) {
        const bool last = index + 1 == shown_->buttons.size();
        buttons.append(box->addButton(shown_->buttons[index], last && index > 0 ? QMessageBox::RejectRole
                                                                                : QMessageBox::AcceptRole));
    }
    box->setEscapeButton(buttons.last());
    box->setDefaultButton(buttons.first());
    // finished() comes once per closing, whether by a button, by Escape or
    // by the window manager's close; the box is then let go.
    connect(box, &QMessageBox::finished, this, [this, box, buttons] {
        const int chosen = static_cast<int>(buttons.indexOf(qobject_cast<QPushButton*>(box->clickedButton())));
        box->deleteLater();
        answered(chosen < 0 ? static_cast<int>(buttons.size()) - 1 : chosen);
    });
    box_ = box;
    box->open();
}

void AlertPresenter::answered(int button)
{
    const WindowAlert alert = std::move(*shown_);
    shown_.reset();
    box_ = nullptr;
    alert.answer(button);
    showNext();
}

StoreAlerts::StoreAlerts(LibraryStore& store, AlertPresenter& presenter)
    : QObject(&presenter), store_(store), presenter_(presenter)
{
    connect(&store, &LibraryStore::messageChanged, this, &StoreAlerts::messageChanged);
    connect(&store, &LibraryStore::permissionRequestSourceIDChanged, this, &StoreAlerts::permissionRequestChanged);
    messageChanged();
    permissionRequestChanged();
}

// The store may write the same message again while it shows; the alert on
// screen already says it.
void StoreAlerts::messageChanged()
{
    if (!store_.message() || messageShown_) {
        return;
    }
    messageShown_ = true;
    presenter_.present({QStringLiteral("Pivra"), *store_.message(), {QStringLiteral("OK")}, [this](int) {
                            messageShown_ = false;
                            store_.setMessage(std::nullopt);
                        }});
}

// The answer runs the store's reconnection, which may raise the next request
// at once: the flag is cleared before, so that request is presented too.
void StoreAlerts::permissionRequestChanged()
{
    if (!store_.permissionRequestSourceID() || requestShown_) {
        return;
    }
    requestShown_ = true;
    const QString text = u"Pivra can no longer read " + store_.permissionRequestSourceName()
                         + u". Choose its folder again to restore access. Your files stay in place.";
    presenter_.present({QStringLiteral("Folder access needed"), text,
                        {QStringLiteral("Choose Folder\u2026"), QStringLiteral("Not now")}, [this](int button) {
                            requestShown_ = false;
                            store_.resolvePermissionRequest(button == 0);
                        }});
}

} // namespace pivra
