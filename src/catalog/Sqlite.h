#pragma once

// Thin RAII layer over the SQLite C API, shared by every catalog operation.
//
// Conventions every statement follows:
//  - The whole text is prepared at once; a failed prepare throws `prepare`
//    and nothing has been bound or stepped.
//  - Parameters are bound by 1-based position. Text is bound as UTF-8 with
//    SQLite's "transient" marker, so SQLite copies it before the call returns.
//  - A statement is finalized by its destructor, on every path.
//  - A write is stepped once and must end "done", else it throws `step`.
//  - A read is stepped while it yields rows. Reads that only feed a display
//    use nextRow(), which ends quietly at the first result that is not a row;
//    reads whose rows feed a decision use nextRowChecked(), which throws
//    `step` on an error, because a half-read set would look complete.

#include "catalog/CatalogError.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace pivra::sqlite {

// How long a connection waits for a lock that another one holds.
inline constexpr int busyTimeoutMilliseconds = 5000;

// Owns a connection; closing it is the deleter's job (sqlite3_close_v2).
struct ConnectionCloser {
    void operator()(sqlite3* db) const noexcept;
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

// How much of the file a connection keeps in its page cache, in KiB. Its
// reads pass over the table or an index once (a count, a source's
// fingerprints, ranges of the gallery) and the system's page cache serves
// them again, so it keeps little, about SQLite's own default. A write that
// lands all over the dozen indexes (a scan's batch, a source's removal)
// would read the same pages back from the file again and again with that,
// so it gets the large cache for its span (WritingCache).
inline constexpr int readingCacheKiB = 2048;
inline constexpr int writingCacheKiB = 65536;

// Sets the connection's page cache to `kib`; the pages beyond it that no
// statement holds are freed at once.
void setPageCache(sqlite3* db, int kib);

// The writing cache from construction to destruction, then the reading one
// again with the pages beyond it freed. Declare it before the Transaction it
// serves, so that the transaction has ended and no page is held when the
// cache shrinks.
class WritingCache {
public:
    explicit WritingCache(sqlite3* db);
    ~WritingCache();

    WritingCache(const WritingCache&) = delete;
    WritingCache& operator=(const WritingCache&) = delete;

private:
    sqlite3* db_;
};

// Runs one or more statements without results that matter (set-up, pragmas,
// transaction commands). Throws `step` when SQLite reports a failure.
void exec(sqlite3* db, const char* sql);

// SQL that is true when `expression` equals one of the texts of a list bound
// to its one "?" as textList() writes it. A list of any length is one
// parameter, so the statement's text and its parameter count stay the same
// for ten values or ten thousand (SQLite refuses a statement of more than
// 250,000 parameters, and a long one costs its size at every prepare).
// SQLite reads the list once per run of the statement, into a table of its
// own, also where the test sits in a subquery run for every row.
QString inTextList(const QString& expression);

// The parameter of inTextList(): `values` as a JSON array of strings.
QString textList(const QStringList& values);

// Runs a statement whose failure is harmless (ending a transaction that wrote
// nothing, or one that is being abandoned). Answers whether it succeeded.
bool execIgnoringFailure(sqlite3* db, const char* sql) noexcept;

// Runs an "ALTER TABLE ... ADD COLUMN" statement. A column that is there
// already is what the statement wanted; any other failure (a busy or failing
// disk) throws `step`, since the catalog must not run without the column.
void addColumn(sqlite3* db, const char* sql);

class Statement {
public:
    Statement(sqlite3* db, const QString& sql);
    Statement(sqlite3* db, const char* sql);
    ~Statement();

    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Binds. Their SQLite result codes are ignored: a bind only fails for a
    // misnumbered parameter, which the statement's own tests catch.
    // Text is bound as the bytes fileNameBytes() gives, so a path keeps the
    // bytes of a name that is not UTF-8; text() reads them back.
    void bindText(int index, const QString& value);
    void bindText(int index, const std::optional<QString>& value); // absent binds NULL
    // `value` as text, byte for byte.
    void bindBytes(int index, QByteArrayView value);
    void bindUuid(int index, const QUuid& value);                  // canonical upper-case text
    // Binds each string from `first` on; returns the index after the last.
    int bindTexts(int first, const QStringList& values);
    void bindInt(int index, int value);
    void bindInt64(int index, std::int64_t value);
    void bindDouble(int index, double value);
    void bindDouble(int index, std::optional<double> value); // absent binds NULL
    void bindNull(int index);

    bool nextRow() noexcept;
    bool nextRowChecked();
    void run();

    // Makes a reused statement ready for its next row: rewinds it and clears
    // the previous row's bindings, so a forgotten bind is NULL, not stale.
    void resetForReuse() noexcept;

    bool isNull(int column) const noexcept;
    std::optional<QString> text(int column) const;
    // The column's bytes (UTF-8 but for paths that are not), valid until
    // the next step or column call.
    std::string_view bytes(int column) const noexcept;
    // The same, or none for NULL, in one look at the column.
    std::optional<std::string_view> optionalBytes(int column) const noexcept;
    int int32(int column) const noexcept;
    std::int64_t int64(int column) const noexcept;
    double real(int column) const noexcept;
    std::optional<double> optionalReal(int column) const noexcept;

    sqlite3_stmt* handle() const noexcept { return statement_; }

private:
    sqlite3_stmt* statement_ = nullptr;
};

// A "BEGIN IMMEDIATE" transaction that rolls back unless committed.
//
// Declare it before the statements it covers: locals are destroyed in reverse
// order, so the statements are finalized first and the ROLLBACK then runs on
// a connection with no statement in flight.
class Transaction {
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();

    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    sqlite3* db_;
    bool open_ = true;
};

// A read transaction ("BEGIN"): the statements inside it see one state of
// the file, however other connections write meanwhile. It ends when it goes
// out of scope; declare it before the statements, as with Transaction.
class ReadTransaction {
public:
    explicit ReadTransaction(sqlite3* db);
    ~ReadTransaction();

    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    sqlite3* db_;
};

} // namespace pivra::sqlite
