#include "framework/DatabaseTransaction.h"

#include "debug/Debugging.h"
#include "framework/Database.h"

#include <sqlite3.h>

namespace edufrmwk {

DatabaseTransaction::DatabaseTransaction(Database* db)
    : mp_db(db)
    , m_active(false)
    , m_outermost(false)
{
    if (!mp_db || !mp_db->getDb())
        return;
    m_outermost = sqlite3_get_autocommit(mp_db->getDb()) != 0;
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
        // Why the commit failed, not how the rollback went, is what the caller asks about.
        const int failure = q.resultCode();
        rollback();
        mp_db->noteResult(failure);
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
    // Releasing the outermost savepoint is a commit, which a reader's lock can refuse even with
    // nothing left to write; the transaction would then stay open and swallow every later write.
    if (m_outermost && !sqlite3_get_autocommit(mp_db->getDb()))
        q.exec("ROLLBACK");
}

}  // namespace edufrmwk
