#include "viewer/video/playback/PlayerThread.h"

#include "platform/runtime/threads/BackgroundReleaser.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <deque>
#include <mutex>

namespace pivra {

struct PlayerThread::Queue {
    std::mutex lock;
    std::deque<std::function<void()>> jobs;
    bool ending = false;
    QAbstractEventDispatcher* dispatcher = nullptr; // once the thread runs

    void run()
    {
        {
            std::lock_guard guard(lock);
            dispatcher = QThread::currentThread()->eventDispatcher();
        }
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard guard(lock);
                if (jobs.empty() && ending) {
                    return;
                }
                if (!jobs.empty()) {
                    job = std::move(jobs.front());
                    jobs.pop_front();
                }
            }
            if (job) {
                job();
            } else {
                // Returns once something happened, a post included.
                dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            }
            // Outside any QEventLoop Qt never delivers a deleteLater() on its
            // own, and the player's objects would pile up while the thread lives.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    void add(std::function<void()> job, bool last)
    {
        std::lock_guard guard(lock);
        if (job) {
            jobs.push_back(std::move(job));
        }
        ending = ending || last;
        if (dispatcher != nullptr) {
            dispatcher->wakeUp();
        }
    }
};

PlayerThread::PlayerThread(const QString& name)
    : queue_(std::make_shared<Queue>())
    , thread_(QThread::create([queue = queue_] { queue->run(); }), [](QThread* thread) {
        thread->wait();
        delete thread;
    })
{
    thread_->setObjectName(name);
    thread_->start();
}

PlayerThread::~PlayerThread()
{
    queue_->add(nullptr, true);
    BackgroundReleaser::shared().release(std::move(thread_), std::move(reads_));
}

void PlayerThread::post(std::function<void()> job)
{
    queue_->add(std::move(job), false);
}

void PlayerThread::readsFrom(const std::vector<QByteArray>& paths)
{
    for (const QByteArray& path : paths) {
        if (std::find(reads_.begin(), reads_.end(), path) == reads_.end()) {
            reads_.push_back(path);
        }
    }
}

} // namespace pivra
