#pragma once

#include "debug/LogRepeats.h"
#include "framework/ElementState.h"
#include "framework/QuestionVariant.h"
#include "framework/SkillRating.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace edufrmwk {

class Database;
class PendingRecordsFile;

// What the learner did, on its way into the learner database: answers, marks, ratings and state
// changes. A record that cannot be saved now (the file locked by another program past the wait, a
// full disk) is kept with the time it was made and tried again at the next save and at exit, oldest
// first. While any are kept they are also in a file of this process's own (locked while it runs) in
// the first of the given folders that takes it, so that a start after an end without a last save
// finds them. A record that has been in a file carries an id, which the database takes in the
// same transaction as the record: a file that outlives the save (a kill before it is rewritten)
// saves nothing twice. A record the database refuses for good is set aside in a side file, once.
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
        QString id;  // its name in the files and the database; empty until it is written to a file
    };
    enum Outcome {
        Saved,    // every given record is in the file
        Kept,     // some wait for a later save
        Refused,  // some were refused for good and set aside (the rest saved or kept)
    };
    // Reads the current skill rating; false when the answers cannot be read now.
    using RatingSource = std::function<bool(SkillRating& rating)>;

    static Record answer(int userId, const QuestionVariant& variant, double correctness);
    static Record mark(int userId, const QString& path, double mark, int ratingDelta);
    static Record markMeasuredAtSave(int userId, const QString& path, double mark, int startRating);
    static Record rating(int userId, int rating, bool practice);
    static Record ratingMeasuredAtSave(int userId, bool practice);
    static Record states(int userId, const QList<StateWrite>& writes);
    static Record runStart(int userId, qint64 run);

    PendingRecords();
    ~PendingRecords();
    PendingRecords(const PendingRecords&) = delete;
    PendingRecords& operator=(const PendingRecords&) = delete;

    void setRatingSource(const RatingSource& source) { m_ratingSource = source; }
    // Where kept records go, in order of preference: the database's folder, then folders used only
    // while they are the learner's own (a directory, not a symlink, theirs, 0700), made 0700 when
    // needed (a name ending in "XXXXXX" under a new name, see PrivateFolder::make). The kept
    // records' file is "<name>.<this process's token>.unsaved.json" in the first that takes it;
    // records set aside go to the first that takes a side file. olderFiles: files of kept records
    // at the names of an earlier version, taken like the others, never written.
    void setFolders(const QStringList& folders, const QString& name, const QStringList& olderFiles = {});
    // Called between the transactions of a long save and between the records of a large file as
    // they are read (a recovery), so that the window stays alive.
    void setPause(const std::function<void()>& pause) { m_pause = pause; }

    // Saves the kept records and then the given ones, in that order, in transactions of many
    // records each; what cannot be saved now is kept. Once one cannot be saved now (the file in use
    // by another program, a full disk), the rest are kept untried: in order, and without waiting
    // out the busy time again for each.
    Outcome save(Database* db, const QList<Record>& records);
    // The kept records only.
    void saveKept(Database* db) { save(db, {}); }
    // The record alone, never kept: Saved or Refused (for changes made on a guess, which must not
    // be written over the file later).
    Outcome saveUnkept(Database* db, const Record& record);
    // Takes in the records of the files of runs that ended without saving them (every file in the
    // folders whose process is gone), oldest first; returns how many. Each record is checked like
    // any input: a file that is not one of records, or larger than this program reads, is set
    // aside by a new name without being read whole; each record that is not sound is set aside in
    // a side file, and when none can be written its file stays where it is, untaken. The files are
    // removed once their records are saved or in this process's own file. With db, and every file
    // that may hold the learner's records read, the ids of saved records that no file holds any
    // more are forgotten too.
    int load(Database* db = nullptr);

    // The records the learner made that wait (a run's start is none of them).
    int count() const;
    // Of those, the ones no file holds (neither this run's nor the one they were found in): lost
    // if the program ends now.
    int unfiledCount() const;
    // The rating a run started from, once measured.
    bool runStartRating(qint64 run, int& rating) const;
    // The file holding the kept records; empty when none could be written (or none are kept).
    const QString& keptIn() const { return m_keptIn; }
    // Records the database refused for good, and files or records of ended runs that could not be
    // taken in (both set aside); every side file.
    int refusedCount() const { return m_refused; }
    int unreadableCount() const { return m_unreadable; }
    // Files of ended runs set aside unread for their size alone (not counted as unreadable).
    int tooLargeCount() const { return m_tooLarge; }
    // Records found saved by an earlier start (by their ids), not saved again.
    int savedEarlierCount() const { return m_savedEarlier; }
    const QStringList& setAsideIn() const { return m_setAsideIn; }
    // Files of ended runs left where they are, their records not taken in (what is damaged in
    // them could not be set aside, or they could not be read now).
    const QStringList& leftIn() const { return m_leftIn; }
    // Files taken in whose other names (a backup's link) still hold their records.
    const QStringList& linkedIn() const { return m_linkedIn; }
    // Folders of the learner's own that others may use, holding files of kept records: not taken.
    struct OpenFolder {
        QString path;
        int mode = 0;
        int files = 0;
    };
    const QList<OpenFolder>& openFolders() const { return m_openFolders; }

private:
    enum StoreResult { Untried, Stored, Transient, Permanent };
    StoreResult store(Database* db, const Record& record);
    // The record with its id, when it has one: stored only when the id is new to the database.
    using IdStatement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;
    StoreResult storeOnce(Database* db, const Record& record, IdStatement& insertId);
    // Read once a transaction: the answers it saves are added as they go in.
    bool readRating(int& rating);
    // Writes the kept records to this process's file in the first folder that takes it; once they
    // are there, the files taken from ended runs go, and the ids of saved records with them.
    void persist(Database* db);
    void forgetSavedIds(Database* db);
    // The folder is one to use (after the first: the learner's own; with make, made when missing).
    // One of the learner's own of another mode that holds kept files is noted for the learner.
    bool usable(int folder, bool make);
    // Says once that what is at path is left alone; past a few such lines they are only counted,
    // for one line with the total when the load or save ends (others may make any number).
    void leftAlone(const QString& path, const QString& why);
    void endLeftAlone();
    // Writes text to a new side file "<name>.<token>-<n>.<what>.json", beside the database when it
    // can; false when no folder takes it.
    bool setAside(const QByteArray& text, const char* what, const QString& why);
    // Gives the whole file a side file's name in its folder; false when it stays where it is.
    bool setAsideFile(PendingRecordsFile& file, const QString& why, int& count);
    QString sideName(const char* what);
    // Takes in the file at path when it is one to take: its records go to runs, the file to taken.
    // False when a file that may hold the learner's records stays unread.
    using Files = std::vector<std::unique_ptr<PendingRecordsFile>>;
    bool takeFile(const QString& path, QList<QList<Record>>& runs, Files& taken);
    bool readFile(std::unique_ptr<PendingRecordsFile> file, QList<QList<Record>>& runs, Files& taken);
    // The window's events, when the work since the last pause has taken long enough.
    void breathe();

    QList<Record> m_kept;
    QHash<qint64, int> m_runStarts;
    bool m_saving = false;
    QList<Record> m_arrived;  // given while a save ran
    QStringList m_folders;
    QStringList m_olderFiles;
    QString m_name;
    QString m_token;
    qint64 m_lastId = 0;
    int m_sideFiles = 0;
    std::unique_ptr<PendingRecordsFile> m_own;
    Files m_taken;
    QStringList m_savedIds;  // saved since the last rewrite: in the database until no file holds them
    QSet<QString> m_warned;  // names already said to be left alone
    LogRepeats m_leftAlone;
    QSet<QString> m_filed;   // ids of the records that a file holds
    bool m_unpersisted = false;  // records taken from files of ended runs, not in a file of ours yet
    QString m_keptIn;
    QStringList m_setAsideIn;
    QStringList m_leftIn;
    QStringList m_linkedIn;
    QList<OpenFolder> m_openFolders;
    QElapsedTimer m_sincePause;
    int m_refused = 0;
    int m_unreadable = 0;
    int m_tooLarge = 0;
    int m_savedEarlier = 0;
    RatingSource m_ratingSource;
    SkillRating m_rating;
    bool m_ratingRead = false;  // m_rating holds the answers of the running transaction
    std::function<void()> m_pause;
};

}  // namespace edufrmwk
