#include "app/content/AlbumDialogs.h"

#include "app/window/WindowAlerts.h"
#include "store/LibraryStore.h"
#include "style/controls/DialogBorder.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pivra {

AlbumNameDialog::AlbumNameDialog(LibraryStore& store, std::optional<QString> adding, std::optional<Album> renaming,
                                 QWidget* parent)
    : QDialog(parent), store_(store), adding_(std::move(adding)), renaming_(std::move(renaming)),
      name_(new QLineEdit(this))
{
    setWindowTitle(renaming_ ? QStringLiteral("Rename Album") : QStringLiteral("New Album"));
    DialogBorder::addTo(*this);
    message_ = renaming_ ? QStringLiteral("Choose a new name for this album.")
                         : QStringLiteral("Choose a name for your album.");
    auto* column = new QVBoxLayout(this);
    auto* title = new QLabel(windowTitle(), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    column->addWidget(title);
    column->addWidget(new QLabel(message_, this));
    name_->setPlaceholderText(QStringLiteral("Album name"));
    name_->setText(renaming_ ? renaming_->name : QString());
    column->addWidget(name_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    confirm_ = buttons->addButton(renaming_ ? QStringLiteral("Save") : QStringLiteral("Create"),
                                  QDialogButtonBox::AcceptRole);
    confirm_->setDefault(true);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AlbumNameDialog::confirmed);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto blank = [this] { confirm_->setEnabled(!name_->text().trimmed().isEmpty()); };
    connect(name_, &QLineEdit::textChanged, this, blank);
    blank();
}

QString AlbumNameDialog::message() const { return message_; }

void AlbumNameDialog::confirmed()
{
    if (!confirm_->isEnabled()) {
        return; // Return in a blank field
    }
    if (renaming_) {
        store_.renameAlbum(renaming_->id, name_->text());
    } else {
        store_.createAlbum(name_->text(), adding_);
    }
    accept();
}

AlbumNameDialog* presentAlbumEditor(LibraryStore& store, QWidget& window, std::optional<QString> adding,
                                    std::optional<Album> renaming)
{
    auto* dialog = new AlbumNameDialog(store, std::move(adding), std::move(renaming), &window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
    // The field exists once the dialog is shown.
    QTimer::singleShot(0, dialog->nameField(), qOverload<>(&QWidget::setFocus));
    return dialog;
}

void confirmAlbumDeletion(LibraryStore& store, AlertPresenter& alerts, const Album& album)
{
    WindowAlert alert{QStringLiteral("Delete Album?"), QStringLiteral("The photos and videos will stay in your library."),
                      {QStringLiteral("Delete Album"), QStringLiteral("Cancel")}, [&store, id = album.id](int button) {
                          if (button == 0) {
                              store.deleteAlbum(id);
                          }
                      }};
    alert.destructive = true;
    alerts.present(std::move(alert));
}

} // namespace pivra
