#include "catalog/Sqlite.h"

#include "catalog/model/Uuid.h"
#include "platform/folders/FileNameText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <sqlite3.h>

#include <utility>

namespace pivra::sqlite {

namespace {

[[noreturn]] void fail(CatalogError::Kind kind)
{
    throw CatalogError(kind);
}

QByteArray cacheSizeStatement(int kib)
{
    return "PRAGMA cache_size=-" + QByteArray::number(kib);
}

} // namespace

void ConnectionCloser::operator()(sqlite3* db) const noexcept
{
    sqlite3_close_v2(db);
}

void setPageCache(sqlite3* db, int kib)
{
    exec(db, cacheSizeStatement(kib).constData());
}

WritingCache::WritingCache(sqlite3* db) : db_(db)
{
    setPageCache(db_, writingCacheKiB);
}

WritingCache::~WritingCache()
{
    // A destructor may not throw, and setting the size fails on no open connection.
    execIgnoringFailure(db_, cacheSizeStatement(readingCacheKiB).constData());
}

QString inTextList(const QString& expression)
{
    return expression + QStringLiteral(" IN (SELECT value FROM json_each(?))");
}

QString textList(const QStringList& values)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(values)).toJson(QJsonDocument::Compact));
}

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        fail(CatalogError::Kind::step);
    }
}

bool execIgnoringFailure(sqlite3* db, const char* sql) noexcept
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void addColumn(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) {
        return;
    }
    // SQLite reports this case by its message alone; its code is the
    // generic SQLITE_ERROR that other failures share.
    if (std::string_view(sqlite3_errmsg(db)).starts_with("duplicate column name")) {
        return;
    }
    fail(CatalogError::Kind::step);
}

Statement::Statement(sqlite3* db, const QString& sql) : Statement(db, sql.toUtf8().constData()) {}

Statement::Statement(sqlite3* db, const char* sql)
{
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK || statement_ == nullptr) {
        // A failed prepare leaves no statement behind, but an empty text
        // "succeeds" with none; both are a failure to the caller.
        sqlite3_finalize(statement_);
        statement_ = nullptr;
        fail(CatalogError::Kind::prepare);
    }
}

Statement::~Statement()
{
    sqlite3_finalize(statement_);
}

Statement::Statement(Statement&& other) noexcept : statement_(std::exchange(other.statement_, nullptr)) {}

void Statement::bindText(int index, const QString& value)
{
    const QByteArray bytes = fileNameBytes(value);
    sqlite3_bind_text(statement_, index, bytes.constData(), -1, SQLITE_TRANSIENT);
}

void Statement::bindBytes(int index, QByteArrayView value)
{
    // Text, though it need not be UTF-8: SQLite keeps what it is given.
    sqlite3_bind_text64(statement_, index, value.data(), static_cast<sqlite3_uint64>(value.size()),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Statement::bindText(int index, const std::optional<QString>& value)
{
    if (value) {
        bindText(index, *value);
    } else {
        bindNull(index);
    }
}

void Statement::bindUuid(int index, const QUuid& value)
{
    bindText(index, uuidString(value));
}

int Statement::bindTexts(int first, const QStringList& values)
{
    int index = first;
    for (const QString& value : values) {
        bindText(index++, value);
    }
    return index;
}

void Statement::bindInt(int index, int value)
{
    sqlite3_bind_int(statement_, index, value);
}

void Statement::bindInt64(int index, std::int64_t value)
{
    sqlite3_bind_int64(statement_, index, value);
}

void Statement::bindDouble(int index, double value)
{
    sqlite3_bind_double(statement_, index, value);
}

void Statement::bindDouble(int index, std::optional<double> value)
{
    if (value) {
        bindDouble(index, *value);
    } else {
        bindNull(index);
    }
}

void Statement::bindNull(int index)
{
    sqlite3_bind_null(statement_, index);
}

bool Statement::nextRow() noexcept
{
    return sqlite3_step(statement_) == SQLITE_ROW;
}

bool Statement::nextRowChecked()
{
    switch (sqlite3_step(statement_)) {
    case SQLITE_ROW:
        return true;
    case SQLITE_DONE:
        return false;
    default:
        fail(CatalogError::Kind::step);
    }
}

void Statement::run()
{
    if (sqlite3_step(statement_) != SQLITE_DONE) {
        fail(CatalogError::Kind::step);
    }
}

void Statement::resetForReuse() noexcept
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

bool Statement::isNull(int column) const noexcept
{
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::optional<QString> Statement::text(int column) const
{
    if (isNull(column)) {
        return std::nullopt;
    }
    const std::string_view text = bytes(column);
    return fileNameText(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

std::string_view Statement::bytes(int column) const noexcept
{
    // Text first, then its length: that order keeps the pointer valid.
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    const int size = sqlite3_column_bytes(statement_, column);
    return data ? std::string_view(data, static_cast<std::size_t>(size)) : std::string_view();
}

std::optional<std::string_view> Statement::optionalBytes(int column) const noexcept
{
    // SQLite gives text for every value but NULL (and a failed allocation).
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    if (data == nullptr) {
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
}

int Statement::int32(int column) const noexcept
{
    return sqlite3_column_int(statement_, column);
}

std::int64_t Statement::int64(int column) const noexcept
{
    return sqlite3_column_int64(statement_, column);
}

double Statement::real(int column) const noexcept
{
    return sqlite3_column_double(statement_, column);
}

std::optional<double> Statement::optionalReal(int column) const noexcept
{
    if (isNull(column)) {
        return std::nullopt;
    }
    return real(column);
}

Transaction::Transaction(sqlite3* db) : db_(db)
{
    exec(db_, "BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (open_) {
        execIgnoringFailure(db_, "ROLLBACK");
    }
}

void Transaction::commit()
{
    exec(db_, "COMMIT");
    open_ = false;
}

ReadTransaction::ReadTransaction(sqlite3* db) : db_(db)
{
    exec(db_, "BEGIN");
}

ReadTransaction::~ReadTransaction()
{
    execIgnoringFailure(db_, "COMMIT"); // nothing was written: ending it cannot lose anything
}

} // namespace pivra::sqlite
