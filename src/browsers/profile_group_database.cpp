#include "profile_group_database.h"

#include <QFile>

#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace ProfileGroupDatabase {

namespace {

// Virtual machine steps after which a query is abandoned: reading a thousand rows takes a few tens of
// thousands, so only a file built to stall the reader (a view over a recursive query, say) gets near it.
constexpr int stepsBetweenChecks = 1000;
constexpr int checkLimit = 1000;
// Longer texts are cut: a path or name from a damaged file must not take the memory with it.
constexpr int textLimit = 4096;

struct CloseDatabase {
    void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

QString columnText(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, std::min(sqlite3_column_bytes(statement, column), textLimit)) : QString();
}

Failure failureOf(sqlite3* database)
{
    return Failure{QString::fromUtf8(database ? sqlite3_errmsg(database) : "out of memory")};
}

} // namespace

Result<QList<Member>> members(const QString& databasePath)
{
    // Only a regular file: opening a FIFO would wait for a writer.
    const QByteArray name = QFile::encodeName(databasePath);
    struct stat status {};
    if (::stat(name.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return Failure{u"Not a regular file"_s};

    sqlite3* opened = nullptr;
    // Read-only, but not immutable: the browser keeps the file in WAL mode, and what it wrote last may still be
    // in the write-ahead log. No busy handler is set, so a lock fails the read instead of waiting for it.
    const int openResult =
        sqlite3_open_v2(name.constData(), &opened, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const std::unique_ptr<sqlite3, CloseDatabase> database(opened);
    if (openResult != SQLITE_OK)
        return failureOf(database.get());
    // Nothing in the file runs code of ours (functions in views or triggers), and a query that goes on too long
    // is interrupted.
    sqlite3_db_config(database.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(database.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    int checks = 0;
    sqlite3_progress_handler(
        database.get(), stepsBetweenChecks,
        [](void* count) { return ++*static_cast<int*>(count) > checkLimit ? 1 : 0; }, &checks);

    sqlite3_stmt* prepared = nullptr;
    const QByteArray query = "SELECT path, name FROM Profiles ORDER BY id LIMIT " + QByteArray::number(memberLimit);
    if (sqlite3_prepare_v2(database.get(), query.constData(), -1, &prepared, nullptr) != SQLITE_OK)
        return failureOf(database.get());
    const std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement(prepared);

    QList<Member> result;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        Member member{columnText(statement.get(), 0), columnText(statement.get(), 1)};
        if (!member.path.isEmpty())
            result.append(std::move(member));
    }
    if (step != SQLITE_DONE)
        return failureOf(database.get());
    return result;
}

} // namespace ProfileGroupDatabase
