#pragma once

namespace edufrmwk {

class Database;

// A savepoint on the learner database: everything between construction and commit() is written
// together or not at all. Savepoints nest, so a change that is part of a larger one joins it.
// Not committed when destroyed: rolled back.
class DatabaseTransaction {
public:
    explicit DatabaseTransaction(Database* db);
    ~DatabaseTransaction();
    DatabaseTransaction(const DatabaseTransaction&) = delete;
    DatabaseTransaction& operator=(const DatabaseTransaction&) = delete;

    // True when the changes are now part of the file (or of the enclosing savepoint).
    bool commit();
    void rollback();
    bool isActive() const { return m_active; }

private:
    Database* mp_db;
    bool m_active;
    bool m_outermost;  // began the connection's transaction, so it must also end it
};

}  // namespace edufrmwk
