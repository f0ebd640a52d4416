#include "framework/PendingRecords.h"

#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/ResultCodes.h"

#include <cmath>

namespace edufrmwk {

PendingRecords::Record PendingRecords::answer(int userId, const QuestionVariant& variant, double correctness)
{
    Record r;
    r.kind = Record::Answer;
    r.userId = userId;
    r.variant = variant;
    r.value = correctness;
    r.time = QDateTime::currentDateTime();
    return r;
}

PendingRecords::Record PendingRecords::mark(int userId, const QString& path, double mark, int ratingDelta)
{
    Record r;
    r.kind = Record::Mark;
    r.userId = userId;
    r.variant.path = path;
    r.value = mark;
    r.ratingDelta = ratingDelta;
    r.time = QDateTime::currentDateTime();
    return r;
}

bool PendingRecords::store(Database* db, const Record& record, bool& busy)
{
    if (!db)
        return false;
    const int rc = record.kind == Record::Answer
        ? db->saveAnswer(record.userId, record.variant, record.value, record.time)
        : db->saveMark(record.userId, record.variant.path, record.value, record.ratingDelta, record.time);
    busy = rc != RC_OK && db->lastFailureWasBusy();
    return rc == RC_OK;
}

bool PendingRecords::save(Database* db, const QList<Record>& records)
{
    const int keptBefore = m_kept.count();
    m_kept.append(records);
    QList<Record> stillKept;
    bool busy = false;
    bool givenSaved = true;
    int earlierSaved = 0;
    for (int i = 0; i < m_kept.count(); ++i) {
        const Record& record = m_kept.at(i);
        const bool saved = !busy && store(db, record, busy);
        if (i < keptBefore)
            earlierSaved += saved ? 1 : 0;
        else
            givenSaved = givenSaved && saved;
        // A value the database refuses (not a number) would be refused again: not kept.
        if (!saved && std::isfinite(record.value))
            stillKept.append(record);
    }
    m_kept = stillKept;
    if (earlierSaved > 0)
        LOG_INFO("fmwk", "saved %d records kept from earlier", earlierSaved);
    if (!m_kept.isEmpty())
        LOG_WARN("fmwk", "%d records not saved yet, kept for the next save%s", m_kept.count(),
                 busy ? " (the database is in use by another program)" : "");
    return givenSaved;
}

}  // namespace edufrmwk
