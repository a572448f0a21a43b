#pragma once

#include "catalog/model/LibrarySource.h"
#include "catalog/model/MediaItem.h"

#include <QWidget>

#include <functional>
#include <optional>

class QPushButton;
class QLabel;

namespace pivra {

class CaptionedRows;

// The viewer's information panel, 318 wide at its trailing side: the
// item's catalog facts, then every value embedded in the file, each label
// above its value, values (and only values) selectable for copying. It ends with the button
// that shows the original in the file manager, or a note that only a
// preview of a device's original is at hand.
class MetadataPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 318;

    MetadataPanel(const MediaItem& item, const std::optional<LibrarySource>& source,
                  std::function<void()> onShowInFileManager, QWidget* parent = nullptr);

    // The rows as written, labels upper-cased, in order: for tests and
    // readers.
    QString plainText() const;
    CaptionedRows* rows() const { return rows_; }
    QPushButton* revealButton() const { return reveal_; }
    QLabel* previewNote() const { return note_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CaptionedRows* rows_;
    QPushButton* reveal_ = nullptr;
    QLabel* note_ = nullptr;
};

} // namespace pivra
