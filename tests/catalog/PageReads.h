#pragma once
// Counts the pages SQLite reads from its files (the database and its
// write-ahead log), whatever connection reads them: a shim over the system's
// file layer, made the default while a PageReads lives, so that connections
// opened meanwhile read through it. A cold connection reads every page it
// steps through once, so the count tells how much of the catalog a query had
// to look at; the system's own file cache does not hide it.
#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace pivra::test {

class PageReads {
public:
    PageReads()
    {
        real_ = sqlite3_vfs_find(nullptr);
        shim_ = *real_;
        shim_.zName = "pivra-page-reads";
        shim_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
        shim_.pAppData = this;
        shim_.xOpen = &open;
        if (sqlite3_vfs_register(&shim_, 1) != SQLITE_OK) {
            throw std::runtime_error("cannot register the counting file layer");
        }
    }

    ~PageReads()
    {
        sqlite3_vfs_unregister(&shim_);
        sqlite3_vfs_register(real_, 1);
    }

    PageReads(const PageReads&) = delete;
    PageReads& operator=(const PageReads&) = delete;

    // Pages read since construction or the last call, which starts again.
    std::int64_t take() { return pages_.exchange(0); }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
        PageReads* owner;
    };

    static sqlite3_file* realOf(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

    static int open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
    {
        auto* owner = static_cast<PageReads*>(vfs->pAppData);
        auto* counted = reinterpret_cast<File*>(file);
        counted->real = reinterpret_cast<sqlite3_file*>(counted + 1);
        counted->owner = owner;
        counted->base.pMethods = nullptr;
        const int result = owner->real_->xOpen(owner->real_, name, counted->real, flags, outFlags);
        if (counted->real->pMethods != nullptr) {
            counted->base.pMethods = &methods();
        }
        return result;
    }

    static int read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset)
    {
        auto* counted = reinterpret_cast<File*>(file);
        // A page or a log frame's page; headers are smaller.
        if (amount >= 512) {
            counted->owner->pages_.fetch_add(1, std::memory_order_relaxed);
        }
        return counted->real->pMethods->xRead(counted->real, buffer, amount, offset);
    }

    static const sqlite3_io_methods& methods()
    {
        static const sqlite3_io_methods forwarded = [] {
            sqlite3_io_methods m{};
            m.iVersion = 3;
            m.xClose = [](sqlite3_file* f) { return realOf(f)->pMethods->xClose(realOf(f)); };
            m.xRead = &read;
            m.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
                return realOf(f)->pMethods->xWrite(realOf(f), b, n, o);
            };
            m.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) { return realOf(f)->pMethods->xTruncate(realOf(f), s); };
            m.xSync = [](sqlite3_file* f, int flags) { return realOf(f)->pMethods->xSync(realOf(f), flags); };
            m.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) { return realOf(f)->pMethods->xFileSize(realOf(f), s); };
            m.xLock = [](sqlite3_file* f, int l) { return realOf(f)->pMethods->xLock(realOf(f), l); };
            m.xUnlock = [](sqlite3_file* f, int l) { return realOf(f)->pMethods->xUnlock(realOf(f), l); };
            m.xCheckReservedLock = [](sqlite3_file* f, int* r) {
                return realOf(f)->pMethods->xCheckReservedLock(realOf(f), r);
            };
            m.xFileControl = [](sqlite3_file* f, int op, void* a) {
                return realOf(f)->pMethods->xFileControl(realOf(f), op, a);
            };
            m.xSectorSize = [](sqlite3_file* f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); };
            m.xDeviceCharacteristics = [](sqlite3_file* f) {
                return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
            };
            m.xShmMap = [](sqlite3_file* f, int page, int size, int extend, void volatile** p) {
                return realOf(f)->pMethods->xShmMap(realOf(f), page, size, extend, p);
            };
            m.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
                return realOf(f)->pMethods->xShmLock(realOf(f), offset, n, flags);
            };
            m.xShmBarrier = [](sqlite3_file* f) { realOf(f)->pMethods->xShmBarrier(realOf(f)); };
            m.xShmUnmap = [](sqlite3_file* f, int remove) { return realOf(f)->pMethods->xShmUnmap(realOf(f), remove); };
            m.xFetch = [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) {
                return realOf(f)->pMethods->xFetch(realOf(f), o, n, p);
            };
            m.xUnfetch = [](sqlite3_file* f, sqlite3_int64 o, void* p) {
                return realOf(f)->pMethods->xUnfetch(realOf(f), o, p);
            };
            return m;
        }();
        return forwarded;
    }

    sqlite3_vfs* real_ = nullptr;
    sqlite3_vfs shim_{};
    std::atomic<std::int64_t> pages_{0};
};

} // namespace pivra::test
