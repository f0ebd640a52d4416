#include "framework/DatabaseQuery.h"

#include "debug/Debugging.h"
#include "framework/Database.h"

#include <sqlite3.h>


namespace edufrmwk {

DatabaseQuery::DatabaseQuery(Database* db)
    : mp_db(db)
{
    BRISOLA_ASSERT(db);
    init();
}

DatabaseQuery::~DatabaseQuery()
{
    init();
}

void DatabaseQuery::init()
{
    m_resultCode = 0;
    if (mp_error) {
        sqlite3_free(mp_error);
        mp_error = nullptr;
    }
    m_results.clear();
}

void DatabaseQuery::exec(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    run(fmt, args);
    va_end(args);
}

void DatabaseQuery::execEach(const RowVisitor& visitor, const char* fmt, ...)
{
    mp_visitor = &visitor;
    va_list args;
    va_start(args, fmt);
    run(fmt, args);
    va_end(args);
    mp_visitor = nullptr;
}

void DatabaseQuery::run(const char* fmt, va_list args)
{
    BRISOLA_ASSERT(mp_db);
    BRISOLA_ASSERT(fmt);
    init();
    if (!mp_db || !fmt || !mp_db->getDb()) {
        m_resultCode = SQLITE_MISUSE;
        mp_error = sqlite3_mprintf("%s", "no open database");
        Debugging::doLog(QsLogging::ErrorLevel, "fmwk-db", "exec", __FILE__, __LINE__, "db error: %s", mp_error);
        return;
    }

    char* sql = sqlite3_vmprintf(fmt, args);
    BRISOLA_ASSERT(sql);
    if (!sql) {
        m_resultCode = SQLITE_NOMEM;
        return;
    }

    if (mp_visitor)
        m_resultCode = sqlite3_exec(mp_db->getDb(), sql, &DatabaseQuery::visitRow, this, &mp_error);
    else
        m_resultCode = sqlite3_exec(mp_db->getDb(), sql, &DatabaseQuery::processQueryResult, this, &mp_error);
    mp_db->noteResult(m_resultCode);
    if (m_resultCode == SQLITE_OK) {
        Debugging::doLog(QsLogging::TraceLevel, "fmwk-db", "exec", __FILE__, __LINE__, "%s", sql);
    } else {
        Debugging::doLog(QsLogging::WarnLevel, "fmwk-db", "exec", __FILE__, __LINE__, "%s", sql);
        Debugging::doLog(QsLogging::ErrorLevel, "fmwk-db", "exec", __FILE__, __LINE__, "db error: %s", getError());
    }
    sqlite3_free(sql);
}

int DatabaseQuery::visitRow(void* query, int columnCount, char** values, char** names)
{
    (*static_cast<DatabaseQuery*>(query)->mp_visitor)(columnCount, values, names);
    return 0;
}

unsigned long DatabaseQuery::numRows() const
{
    return m_resultCode == 0 ? static_cast<unsigned long>(m_results.size()) : 0UL;
}

bool DatabaseQuery::getValue(unsigned long row, const char* column, QString& value) const
{
    BRISOLA_ASSERT(row < m_results.size());
    if (row >= m_results.size() || !column)
        return false;
    const Row& r = m_results[row];
    const auto it = r.find(QString::fromUtf8(column));
    if (it == r.end())
        return false;
    value = it->second;
    return true;
}

const char* DatabaseQuery::getError() const
{
    return mp_error ? mp_error : "OK";
}

long long DatabaseQuery::getInsertedRowId() const
{
    return (mp_db && mp_db->getDb()) ? sqlite3_last_insert_rowid(mp_db->getDb()) : 0;
}

int DatabaseQuery::getAffectedRows() const
{
    return (mp_db && mp_db->getDb()) ? sqlite3_changes(mp_db->getDb()) : 0;
}

int DatabaseQuery::processQueryResult(void* query, int columnCount, char** values, char** names)
{
    auto* self = static_cast<DatabaseQuery*>(query);
    Row row;
    for (int i = 0; i < columnCount; ++i) {
        // A NULL stays a null QString; a repeated column name keeps the last value.
        row[QString::fromUtf8(names[i])] = values[i] ? QString::fromUtf8(values[i]) : QString();
    }
    self->m_results.push_back(std::move(row));
    return 0;
}

}  // namespace edufrmwk
