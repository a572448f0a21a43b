#pragma once

#include "catalog/model/Album.h"

#include <QDialog>
#include <QString>

#include <optional>

class QLineEdit;
class QPushButton;

namespace pivra {

class AlertPresenter;
class LibraryStore;

// The prompt for an album's name: a new album (holding `adding` when
// given) or a new name for `renaming`. The confirming button stays off while
// the name is blank; the name goes to the store as typed.
class AlbumNameDialog : public QDialog {
    Q_OBJECT

public:
    AlbumNameDialog(LibraryStore& store, std::optional<QString> adding, std::optional<Album> renaming,
                    QWidget* parent);

    QLineEdit* nameField() const { return name_; }
    QPushButton* confirmButton() const { return confirm_; }
    QString message() const;

private:
    void confirmed();

    LibraryStore& store_;
    std::optional<QString> adding_;
    std::optional<Album> renaming_;
    QLineEdit* name_;
    QPushButton* confirm_;
    QString message_;
};

// Opens the name prompt, window-modal over `window`; it deletes itself
// when closed.
AlbumNameDialog* presentAlbumEditor(LibraryStore& store, QWidget& window, std::optional<QString> adding = std::nullopt,
                                    std::optional<Album> renaming = std::nullopt);

// Asks whether to delete the album; only "Delete Album" deletes it.
void confirmAlbumDeletion(LibraryStore& store, AlertPresenter& alerts, const Album& album);

} // namespace pivra
