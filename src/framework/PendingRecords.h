#pragma once

#include "framework/ElementState.h"
#include "framework/QuestionVariant.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include <functional>

namespace edufrmwk {

class Database;

// What the learner did, on its way into the learner database: answers, marks, ratings and state
// changes. A record that cannot be saved (the file locked by another program past the wait, a full
// disk, a refusing trigger) is kept with the time it was made and tried again at the next save and
// at exit, oldest first, each saved once. While any are kept they are also written to the first of
// the given files that takes them, so that a start after an end without a last save finds them.
class PendingRecords {
public:
    // One element's new state, or (select) the activity that becomes the current one.
    struct StateWrite {
        QString path;
        ElementState::state_e state = ElementState::INVALID;
        bool select = false;
    };
    struct Record {
        // RunStart: no row; the skill rating a run of an activity starts from, measured in its turn
        // for the run's mark when records waited as the run began.
        enum Kind { Answer, Mark, Rating, States, RunStart };
        Kind kind = Answer;
        int userId = 0;
        QuestionVariant variant;  // an answer's variant; a mark's path is variant.path
        double value = 0.0;       // the correctness, or the mark
        int ratingDelta = 0;      // marks
        // A rating's value; for a mark measured at its save, the rating its activity started from
        // (-1: not known yet: its run's start measures it, else the change is stored as 0).
        int rating = 0;
        qint64 run = 0;  // a mark's run and its start (0: none)
        // The skill rating is read when the record is saved, after every record kept before it: a
        // mark's change in rating, a rating's value.
        bool measuredAtSave = false;
        bool practice = false;      // ratings
        QList<StateWrite> states;   // written together or not at all
        QDateTime time;
    };
    enum Outcome {
        Saved,    // every given record is in the file
        Kept,     // some wait for a later save
        Refused,  // some were refused for good and dropped (the rest saved or kept)
    };
    // Reads the current skill rating; false when the answers cannot be read now.
    using RatingSource = std::function<bool(int& rating)>;

    static Record answer(int userId, const QuestionVariant& variant, double correctness);
    static Record mark(int userId, const QString& path, double mark, int ratingDelta);
    static Record markMeasuredAtSave(int userId, const QString& path, double mark, int startRating);
    static Record rating(int userId, int rating, bool practice);
    static Record ratingMeasuredAtSave(int userId, bool practice);
    static Record states(int userId, const QList<StateWrite>& writes);
    static Record runStart(int userId, qint64 run);

    void setRatingSource(const RatingSource& source) { m_ratingSource = source; }
    // Where kept records are written, in order of preference.
    void setFiles(const QStringList& files) { m_files = files; }

    // Saves the kept records and then the given ones, in that order; what cannot be saved now is
    // kept. Once the file is found in use by another program the rest are kept untried: each try
    // would wait out the busy time again.
    Outcome save(Database* db, const QList<Record>& records);
    // The kept records only.
    void saveKept(Database* db) { save(db, {}); }
    // The record alone, never kept: Saved or Refused (for changes made on a guess, which must not
    // be written over the file later).
    Outcome saveUnkept(Database* db, const Record& record);
    // Takes in the records of the files (a run that ended without saving them), oldest first;
    // returns how many. The files are removed once their records are saved.
    int load();

    // The records the learner made that wait (a run's start is none of them).
    int count() const;
    // The rating a run started from, once measured.
    bool runStartRating(qint64 run, int& rating) const;
    // The file holding the kept records; empty when none could be written (or none are kept).
    const QString& keptIn() const { return m_keptIn; }

private:
    enum StoreResult { Stored, Transient, Permanent };
    StoreResult store(Database* db, const Record& record);
    bool readRating(int& rating);
    // Writes the kept records to the first file that takes them; removes the others.
    void persist();

    QList<Record> m_kept;
    QHash<qint64, int> m_runStarts;
    bool m_saving = false;
    QList<Record> m_arrived;  // given while a save ran
    QStringList m_files;
    QSet<QString> m_touched;
    QString m_keptIn;
    RatingSource m_ratingSource;
};

}  // namespace edufrmwk
