#pragma once

#include <QVariantAnimation>
#include <QWidget>

class QAbstractButton;
class QLineEdit;

namespace pivra {

class LibraryStore;

// The header's search: a round magnifier button that opens into a capsule
// holding the store's search text and, while there is text, a clear button.
// It stays open while the store has text. Each edit and each clearing
// writes the store's text and reloads the gallery.
class SearchField final : public QWidget {
    Q_OBJECT

public:
    static constexpr int closedWidth = 30;

    explicit SearchField(LibraryStore& store, QWidget* parent = nullptr);

    // The width it opens to.
    void setExpandedWidth(int width);
    bool isOpen() const;
    // The width it takes now, between closed and open while it moves.
    int currentWidth() const;

    // Opens the field and gives it the keyboard one turn later.
    void openSearch();
    // Closes the field, emptying the store's text when `clearing`.
    void closeSearch(bool clearing);

    QSize sizeHint() const override;

    QLineEdit* editor() const { return editor_; }
    QAbstractButton* clearButton() const { return clear_; }

Q_SIGNALS:
    void widthChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void edited(const QString& text);
    void showStoreText();
    void openTo(bool open);
    void layOut();

    LibraryStore& store_;
    QLineEdit* editor_;
    QAbstractButton* clear_;
    bool expanded_ = false;
    int expandedWidth_ = 210;
    double openness_ = 0; // 0 closed, 1 open
    QVariantAnimation motion_;
};

} // namespace pivra
