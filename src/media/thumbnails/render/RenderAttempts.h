#pragma once

#include <QHash>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace pivra {

// Remembers on disk which renders are under way, so that a file whose render
// ends the program (a decoder's crash, the memory limit) is not rendered again
// at every start, taking the program down each time.
//
// Each render holds a mark, a small file named after what it renders, made
// before the decoder starts and removed when it returns. A mark found at
// start is an attempt a run of the program did not live through, and it
// says whether other renders were under way beside it. Only an attempt made
// alone is evidence against its file: with others under way, any of them,
// or all of them together for memory, may have ended the program. A file
// whose attempt was lost beside others is a suspect, and its next attempt is
// made alone: it waits until no render is under way, and none starts until
// it returns.
//
// A quit in the middle of a render leaves a mark too, so one lost attempt of
// its own is forgiven: after `forgiven` of them the name is refused for good
// (until its content, and with it its name, changes). Renders of one name
// side by side in this run share one mark. Safe on any thread; begin() may
// wait, so it is never called while holding an attempt.
class RenderAttempts {
public:
    static constexpr int forgiven = 1;

    explicit RenderAttempts(QString directory);

    class Attempt;
    // An attempt at `name`, held while rendering; null when earlier runs lost
    // too many attempts of its own at it.
    std::unique_ptr<Attempt> begin(const QString& name);

    // Attempts waiting in begin() for their turn, for tests.
    int waiting();

private:
    // What this run knows of a name being rendered, as its mark says.
    struct Running {
        int renders = 0;  // of this name, side by side
        int lostAlone = 0; // attempts of its own earlier runs lost
        bool crowded = false; // other renders were under way beside it
        bool alone = false;   // a suspect's attempt: nothing else runs meanwhile
    };

    void end(const QString& name);
    void writeMark(const QString& name, const Running& running) const;
    QString markFile(const QString& name) const;

    const QString directory_;
    std::mutex lock_;
    std::condition_variable changed_;
    QHash<QString, Running> running_;
    int suspectsWaiting_ = 0;
    int waiting_ = 0;
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
