#include "app/window/WindowAlerts.h"

#include "store/LibraryStore.h"
#include "style/controls/DialogBorder.h"

#include <QMessageBox>
#include <QPushButton>

#include <vector>

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
    DialogBorder::addTo(*box);
    box->setWindowTitle(shown_->title);
    box->setText(shown_->title);
    box->setInformativeText(shown_->text);
    QList<QPushButton*> buttons;
    for (qsizetype index = 0; index < shown_->buttons.size(); ++index) {
        const bool last = index + 1 == shown_->buttons.size();
        const bool destroys = index == 0 && shown_->destructive;
        buttons.append(box->addButton(shown_->buttons[index], last && index > 0 ? QMessageBox::RejectRole
                                                              : destroys        ? QMessageBox::DestructiveRole
                                                                                : QMessageBox::AcceptRole));
    }
    box->setEscapeButton(buttons.last());
    box->setDefaultButton(shown_->destructive ? buttons.last() : buttons.first());
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

void AlertPresenter::recheck()
{
    const auto withdrawn = [](const WindowAlert& alert) { return alert.stillAsked && !alert.stillAsked(); };
    std::vector<WindowAlert> gone;
    for (auto alert = waiting_.begin(); alert != waiting_.end();) {
        if (withdrawn(*alert)) {
            gone.push_back(std::move(*alert));
            alert = waiting_.erase(alert);
        } else {
            ++alert;
        }
    }
    for (const WindowAlert& alert : gone) {
        alert.answer(static_cast<int>(alert.buttons.size()) - 1);
    }
    // Closed as by Escape: finished() answers it and shows the next.
    if (shown_ && withdrawn(*shown_) && box_) {
        box_->reject();
    }
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

// The store may write the same message again while it waits or shows: the
// alert already says it. OK clears the store's message only when it is still
// this one; a newer message then stays for its own alert, queued behind.
void StoreAlerts::messageChanged()
{
    const std::optional<QString>& message = store_.message();
    if (!message || pendingMessages_.contains(*message)) {
        return;
    }
    pendingMessages_.append(*message);
    presenter_.present({QStringLiteral("Pivra"), *message, {QStringLiteral("OK")}, [this, shown = *message](int) {
                            pendingMessages_.removeOne(shown);
                            if (store_.message() == shown) {
                                store_.setMessage(std::nullopt);
                            }
                        }});
}

// One question per source at a time. The answer runs the store's
// reconnection, which may raise the next request at once: the source leaves
// the pending set before, so that request is presented too. A request the
// store withdrew or replaced meanwhile is not the one answered: its alert
// goes, and the store's current one has an alert of its own.
void StoreAlerts::permissionRequestChanged()
{
    // A question the store no longer asks (the folder came back) goes.
    presenter_.recheck();
    const std::optional<QUuid> source = store_.permissionRequestSourceID();
    if (!source || pendingRequests_.contains(*source)) {
        return;
    }
    pendingRequests_.insert(*source);
    const QString text = u"Pivra can no longer read " + store_.permissionRequestSourceName()
                         + u". Choose its folder again to restore access. Your files stay in place.";
    presenter_.present({QStringLiteral("Folder access needed"), text,
                        {QStringLiteral("Choose Folder\u2026"), QStringLiteral("Not now")},
                        [this, asked = *source](int button) {
                            pendingRequests_.remove(asked);
                            if (store_.permissionRequestSourceID() == asked) {
                                store_.resolvePermissionRequest(button == 0);
                            }
                        },
                        false, [this, asked = *source] { return store_.permissionRequestSourceID() == asked; }});
}

} // namespace pivra
