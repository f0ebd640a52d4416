#pragma once

#include <QString>

#include <cstdarg>

#include <functional>
#include <map>
#include <vector>

namespace edufrmwk {

class Database;

// One statement and its result rows. Lives on the stack inside a database method.
// The statement text is made by SQLite's own printf, so text values go in through "%q".
class DatabaseQuery {
public:
    using Row = std::map<QString, QString>;

    explicit DatabaseQuery(Database* db);
    ~DatabaseQuery();
    DatabaseQuery(const DatabaseQuery&) = delete;
    DatabaseQuery& operator=(const DatabaseQuery&) = delete;

    // Handed each result row's column texts (a NULL is a null pointer) instead of keeping them.
    using RowVisitor = std::function<void(int columnCount, char** values, char** names)>;

    void init();
    void exec(const char* fmt, ...);
    // Like exec, for large results: rows go to the visitor and none are kept (numRows() stays 0).
    void execEach(const RowVisitor& visitor, const char* fmt, ...);
    bool isOK() const { return m_resultCode == 0; }
    unsigned long numRows() const;
    bool getValue(unsigned long row, const char* column, QString& value) const;
    const char* getError() const;
    long long getInsertedRowId() const;
    int getAffectedRows() const;
    int resultCode() const { return m_resultCode; }

    static int processQueryResult(void* query, int columnCount, char** values, char** names);

private:
    void run(const char* fmt, va_list args);
    static int visitRow(void* visitor, int columnCount, char** values, char** names);

    Database* mp_db;
    const RowVisitor* mp_visitor = nullptr;
    int m_resultCode = 0;
    char* mp_error = nullptr;
    std::vector<Row> m_results;
};

}  // namespace edufrmwk
