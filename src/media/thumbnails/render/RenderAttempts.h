#pragma once

#include <QHash>
#include <QString>

#include <memory>
#include <mutex>

namespace pivra {

// Remembers on disk which renders are under way, so that a file whose render
// ends the program (a decoder's crash, the memory limit) is not rendered again
// at every start, taking the program down each time.
//
// Each render holds a mark, a small file named after what it renders, made
// before the decoder starts and removed when it returns. A mark found at
// start is an attempt a run of the program did not live through. A quit in
// the middle of a render leaves one too, so one such attempt is forgiven:
// after `forgiven` lost attempts the name is refused for good (until its
// content, and with it its name, changes). Renders of one name side by side
// in this run share one mark. Safe on any thread.
class RenderAttempts {
public:
    static constexpr int forgiven = 1;

    explicit RenderAttempts(QString directory);

    class Attempt;
    // An attempt at `name`, held while rendering; null when earlier runs lost
    // too many attempts at it.
    std::unique_ptr<Attempt> begin(const QString& name);

private:
    void end(const QString& name);
    QString markFile(const QString& name) const;

    const QString directory_;
    std::mutex lock_;
    QHash<QString, int> running_; // renders of each name under way in this run
};

class RenderAttempts::Attempt {
public:
    Attempt(RenderAttempts& attempts, QString name) : attempts_(attempts), name_(std::move(name)) {}
    ~Attempt() { attempts_.end(name_); }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

private:
    RenderAttempts& attempts_;
    QString name_;
};

} // namespace pivra
