#pragma once

#include <QObject>
#include <QPointer>

class QAction;

namespace pivra {

// Lends the File menu's Quit, and with it its key, to every modal dialog of
// the application as it is shown. Qt looks for a key's action only in the
// window that has the keyboard, and one a modal dialog blocks has none: with
// the preferences or an alert open, Ctrl+Q found no Quit, in the dialog or
// in the library window under it.
class DialogQuitKey final : public QObject {
public:
    explicit DialogQuitKey(QAction& quit, QObject* parent = nullptr);
    ~DialogQuitKey() override;

    DialogQuitKey(const DialogQuitKey&) = delete;
    DialogQuitKey& operator=(const DialogQuitKey&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QAction> quit_;
};

} // namespace pivra
