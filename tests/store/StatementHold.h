#pragma once
// Holds the thread of any catalog connection at the start of a statement
// whose text begins with one of the given prefixes, once armed, until
// released: what queues behind that connection's thread waits too. Hooks every
// connection opened while it lives.

#include <sqlite3.h>

#include <atomic>
#include <future>
#include <string>
#include <vector>

namespace pivra::test {

class StatementHold {
public:
    // Made before the store and gone after it, so no connection outlives it.
    explicit StatementHold(std::vector<std::string> prefixes) : prefixes_(std::move(prefixes))
    {
        current_ = this;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&hookConnection));
    }
    ~StatementHold()
    {
        release();
        sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(&hookConnection));
        current_ = nullptr;
    }

    StatementHold(const StatementHold&) = delete;
    StatementHold& operator=(const StatementHold&) = delete;

    void arm() { armed_ = true; }
    // Whether a statement is held now.
    bool holding() const { return holding_; }
    void release()
    {
        if (armed_.exchange(false)) {
            released_.set_value();
        }
    }

private:
    static inline StatementHold* current_ = nullptr;

    static int hookConnection(sqlite3* db, char**, const sqlite3_api_routines*)
    {
        sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &onStatement, nullptr);
        return SQLITE_OK;
    }

    static int onStatement(unsigned, void*, void*, void* sql)
    {
        StatementHold* hold = current_;
        if (hold == nullptr || !hold->armed_) {
            return 0;
        }
        const std::string text(static_cast<const char*>(sql));
        for (const std::string& prefix : hold->prefixes_) {
            if (text.starts_with(prefix)) {
                hold->holding_ = true;
                hold->waited_.wait();
                hold->holding_ = false;
                break;
            }
        }
        return 0;
    }

    const std::vector<std::string> prefixes_;
    std::atomic<bool> armed_ = false;
    std::atomic<bool> holding_ = false;
    std::promise<void> released_;
    std::shared_future<void> waited_ = released_.get_future().share();
};

} // namespace pivra::test
