#include "framework/DatabaseTransaction.h"

#include "debug/Debugging.h"
#include "framework/Database.h"

namespace edufrmwk {

DatabaseTransaction::DatabaseTransaction(Database* db)
    : mp_db(db)
    , m_active(false)
{
    if (!mp_db || !mp_db->getDb())
        return;
    DatabaseQuery q(mp_db);
    q.exec("SAVEPOINT fmwk");
    m_active = q.isOK();
}

DatabaseTransaction::~DatabaseTransaction()
{
    if (m_active)
        rollback();
}

bool DatabaseTransaction::commit()
{
    if (!m_active)
        return true;  // no savepoint was opened: the statements ran on their own
    DatabaseQuery q(mp_db);
    q.exec("RELEASE fmwk");
    if (!q.isOK()) {
        LOG_ERROR("fmwk-db", "%s: db error - %s", "commit", q.getError());
        rollback();
        return false;
    }
    m_active = false;
    return true;
}

void DatabaseTransaction::rollback()
{
    if (!m_active)
        return;
    m_active = false;
    DatabaseQuery q(mp_db);
    // Undo to the savepoint, then drop it (ROLLBACK TO keeps it on the stack).
    q.exec("ROLLBACK TO fmwk");
    q.exec("RELEASE fmwk");
}

}  // namespace edufrmwk
