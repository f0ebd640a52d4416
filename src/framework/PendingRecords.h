#pragma once

#include "framework/QuestionVariant.h"

#include <QDateTime>
#include <QList>

namespace edufrmwk {

class Database;

// Answers and marks on their way into the learner database. A record that cannot be saved (the
// file locked by another program past the wait, a full disk, a refusing trigger) is kept with the
// time it was made and tried again at the next save and at exit, oldest first, each saved once.
class PendingRecords {
public:
    struct Record {
        enum Kind { Answer, Mark };
        Kind kind = Answer;
        int userId = 0;
        QuestionVariant variant;  // an answer's variant; a mark's path is variant.path
        double value = 0.0;       // the correctness, or the mark
        int ratingDelta = 0;      // marks only
        QDateTime time;
    };

    static Record answer(int userId, const QuestionVariant& variant, double correctness);
    static Record mark(int userId, const QString& path, double mark, int ratingDelta);

    // Saves the kept records and then the given ones, in that order; what fails is kept. Once the
    // file is found in use by another program the rest are kept untried: each try would wait out
    // the busy time again. True when every given record is saved.
    bool save(Database* db, const QList<Record>& records);
    // The kept records only.
    void saveKept(Database* db) { save(db, {}); }
    int count() const { return m_kept.count(); }

private:
    // Saves the record; sets busy when the file stayed locked.
    static bool store(Database* db, const Record& record, bool& busy);

    QList<Record> m_kept;
};

}  // namespace edufrmwk
