#pragma once

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace pivra::test {

// Answers the modal dialog of type `Dialog` that a call opens and waits on
// (exec()), from inside the dialog's own event loop: made before the call,
// it looks for the dialog at every turn of the loop and hands it, shown, to
// `answer` once. A dialog that never opens is a failure of the test, reported
// when this goes: checks made in `answer` prove nothing unless it ran. It
// answers nothing after it is gone, so an answer never reaches another call.
template<typename Dialog>
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(Dialog&)> answer) : answer_(std::move(answer))
    {
        QObject::connect(&look_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr || !dialog->isVisible()) {
                return;
            }
            look_.stop();
            answered_ = true;
            answer_(*dialog);
        });
        look_.start(5);
    }
    ~ModalAnswer() { EXPECT_TRUE(answered_) << "the dialog never opened"; }

    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;

    bool answered() const { return answered_; }

private:
    std::function<void(Dialog&)> answer_;
    QTimer look_;
    bool answered_ = false;
};

} // namespace pivra::test
