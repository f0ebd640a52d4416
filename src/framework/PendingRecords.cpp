#include "framework/PendingRecords.h"

#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/DatabaseTransaction.h"
#include "framework/DatabaseQuery.h"
#include "framework/PendingRecordsFile.h"
#include "framework/PrivateFolder.h"
#include "framework/ResultCodes.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace edufrmwk {

namespace {

const char* const Channel = "fmwk";
// A save's transaction holds at most this many records or this long, then the next one begins
// (after a pause for the window, in a recovery).
const int BatchRecords = 2000;
const qint64 BatchMs = 100;
// While files of ended runs are read, the window gets its events after this much work.
const qint64 PauseMs = 50;
// A file of kept records this large would hold a million records and more, far beyond what a run
// keeps. A larger one is not read (a read of it would hold the window and the memory).
const qint64 MaxFileBytes = 256 * 1024 * 1024;
// Lines about names left alone written at each load or save before the rest are only counted.
const int LeftAloneSaid = 5;

// The start of a file as this program writes it: a JSON object (JSON lets blanks come first).
bool startsLikeRecords(const QByteArray& start)
{
    for (const char c : start) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return c == '{';
    }
    return false;
}

const char* const KindNames[] = {"answer", "mark", "rating", "states", "start"};

QJsonObject toJson(const PendingRecords::Record& r)
{
    QJsonObject o;
    o["kind"] = QLatin1String(KindNames[r.kind]);
    o["user"] = r.userId;
    o["time"] = r.time.toString(Qt::ISODateWithMs);
    if (!r.id.isEmpty())
        o["id"] = r.id;
    switch (r.kind) {
    case PendingRecords::Record::Answer:
        o["variant"] = r.variant.flatten();
        o["value"] = r.value;
        break;
    case PendingRecords::Record::Mark:
        o["path"] = r.variant.path;
        o["value"] = r.value;
        o["ratingDelta"] = r.ratingDelta;
        o["rating"] = r.rating;
        o["measuredAtSave"] = r.measuredAtSave;
        o["run"] = QString::number(r.run);
        break;
    case PendingRecords::Record::RunStart:
        o["run"] = QString::number(r.run);
        break;
    case PendingRecords::Record::Rating:
        o["rating"] = r.rating;
        o["measuredAtSave"] = r.measuredAtSave;
        o["practice"] = r.practice;
        break;
    case PendingRecords::Record::States: {
        QJsonArray writes;
        for (const PendingRecords::StateWrite& w : r.states)
            writes.append(QJsonObject{{"path", w.path},
                                      {"state", ElementState::stateToStr(w.state)},
                                      {"select", w.select}});
        o["states"] = writes;
        break;
    }
    }
    return o;
}

// The field as a number within [lo, hi]; false when missing, of another type or out of range.
bool number(const QJsonObject& o, const char* key, double lo, double hi, double& out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    out = v.toDouble();
    return v.isDouble() && std::isfinite(out) && out >= lo && out <= hi;
}

bool integer(const QJsonObject& o, const char* key, int lo, int hi, int& out)
{
    double d = 0.0;
    if (!number(o, key, lo, hi, d) || d != std::floor(d))
        return false;
    out = static_cast<int>(d);
    return true;
}

bool flag(const QJsonObject& o, const char* key, bool& out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    out = v.toBool();
    return v.isBool();
}

bool text(const QJsonObject& o, const char* key, QString& out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    out = v.toString();
    return v.isString() && !out.isEmpty();
}

bool runNumber(const QJsonObject& o, qint64& out)
{
    QString digits;
    bool ok = text(o, "run", digits);
    out = digits.toLongLong(&ok);
    return ok && out >= 0;
}

// The record o describes, checked like any input: null when it is sound, else what is wrong.
// Ranges: correctness and marks 0..1 (a mark of -1: aborted), ratings 0..1000, a rating's start
// -1 (not known yet) to 1000, its change -1000..1000.
const char* fromJson(const QJsonValue& value, PendingRecords::Record& r)
{
    const QJsonObject o = value.toObject();
    QString kind;
    text(o, "kind", kind);
    const auto* name = std::find_if(std::begin(KindNames), std::end(KindNames),
                                    [&kind](const char* n) { return kind == QLatin1String(n); });
    if (!value.isObject() || name == std::end(KindNames))
        return "no known kind";
    r.kind = static_cast<PendingRecords::Record::Kind>(name - std::begin(KindNames));
    QString time;
    if (!integer(o, "user", 1, std::numeric_limits<int>::max(), r.userId))
        return "no user";
    if (!text(o, "time", time) || !(r.time = QDateTime::fromString(time, Qt::ISODateWithMs)).isValid())
        return "no time";
    if (o.contains(QLatin1String("id")) && !text(o, "id", r.id))
        return "a bad id";
    switch (r.kind) {
    case PendingRecords::Record::Answer: {
        QString flat;
        // the path ends at the first '@'; a tag may hold more of them
        if (!text(o, "variant", flat) || !QuestionVariant::isFlattened(flat) || flat.startsWith(QLatin1Char('@')))
            return "no question";
        r.variant = QuestionVariant(flat);
        if (!number(o, "value", 0.0, 1.0, r.value))
            return "a correctness that is not 0 to 1";
        return nullptr;
    }
    case PendingRecords::Record::Mark:
        if (!text(o, "path", r.variant.path))
            return "no activity";
        if (!number(o, "value", -1.0, 1.0, r.value) || (r.value < 0.0 && r.value != -1.0))
            return "a mark that is not 0 to 1";
        if (!integer(o, "ratingDelta", -1000, 1000, r.ratingDelta) || !integer(o, "rating", -1, 1000, r.rating))
            return "a rating out of range";
        if (!flag(o, "measuredAtSave", r.measuredAtSave) || !runNumber(o, r.run))
            return "a bad measure";
        return nullptr;
    case PendingRecords::Record::Rating:
        if (!integer(o, "rating", 0, 1000, r.rating))
            return "a rating out of range";
        if (!flag(o, "measuredAtSave", r.measuredAtSave) || !flag(o, "practice", r.practice))
            return "a bad measure";
        return nullptr;
    case PendingRecords::Record::RunStart:
        return runNumber(o, r.run) && r.run > 0 ? nullptr : "no run";
    case PendingRecords::Record::States: {
        const QJsonArray writes = o.value(QLatin1String("states")).toArray();
        if (writes.isEmpty())
            return "no states";
        for (const QJsonValue& v : writes) {
            const QJsonObject w = v.toObject();
            PendingRecords::StateWrite write;
            QString state;
            if (!text(w, "path", write.path) || !text(w, "state", state) || !flag(w, "select", write.select))
                return "a bad state change";
            write.state = ElementState::strToState(state);
            if (write.state == ElementState::INVALID || ElementState::stateToStr(write.state) != state)
                return "an unknown state";
            r.states.append(write);
        }
        return nullptr;
    }
    }
    return "no known kind";
}

QByteArray listJson(const QJsonArray& records)
{
    return QJsonDocument(QJsonObject{{"records", records}}).toJson(QJsonDocument::Compact);
}

// A record of the kind for the user, made now.
PendingRecords::Record madeNow(PendingRecords::Record::Kind kind, int userId)
{
    PendingRecords::Record r;
    r.kind = kind;
    r.userId = userId;
    r.time = QDateTime::currentDateTime();
    return r;
}

}  // namespace

PendingRecords::Record PendingRecords::answer(int userId, const QuestionVariant& variant, double correctness)
{
    Record r = madeNow(Record::Answer, userId);
    r.variant = variant;
    r.value = correctness;
    return r;
}

PendingRecords::Record PendingRecords::mark(int userId, const QString& path, double mark, int ratingDelta)
{
    Record r = madeNow(Record::Mark, userId);
    r.variant.path = path;
    r.value = mark;
    r.ratingDelta = ratingDelta;
    return r;
}

PendingRecords::Record PendingRecords::markMeasuredAtSave(int userId, const QString& path, double mark,
                                                          int startRating)
{
    Record r = PendingRecords::mark(userId, path, mark, 0);
    r.rating = startRating;
    r.measuredAtSave = true;
    return r;
}

PendingRecords::Record PendingRecords::rating(int userId, int rating, bool practice)
{
    Record r = madeNow(Record::Rating, userId);
    r.rating = rating;
    r.practice = practice;
    return r;
}

PendingRecords::Record PendingRecords::ratingMeasuredAtSave(int userId, bool practice)
{
    Record r = rating(userId, 0, practice);
    r.measuredAtSave = true;
    return r;
}

PendingRecords::Record PendingRecords::states(int userId, const QList<StateWrite>& writes)
{
    Record r = madeNow(Record::States, userId);
    r.states = writes;
    return r;
}

PendingRecords::Record PendingRecords::runStart(int userId, qint64 run)
{
    Record r = madeNow(Record::RunStart, userId);
    r.run = run;
    return r;
}

PendingRecords::PendingRecords()
    : m_token(QString::number(QRandomGenerator::system()->generate64(), 16))
    , m_leftAlone(LeftAloneSaid)
{
}

PendingRecords::~PendingRecords() = default;

int PendingRecords::count() const
{
    return static_cast<int>(std::count_if(m_kept.begin(), m_kept.end(),
                                          [](const Record& r) { return r.kind != Record::RunStart; }));
}

int PendingRecords::unfiledCount() const
{
    return static_cast<int>(std::count_if(m_kept.begin(), m_kept.end(), [this](const Record& r) {
        return r.kind != Record::RunStart && !m_filed.contains(r.id);
    }));
}

bool PendingRecords::runStartRating(qint64 run, int& rating) const
{
    const auto found = m_runStarts.constFind(run);
    if (run == 0 || found == m_runStarts.constEnd())
        return false;
    rating = found.value();
    return true;
}

bool PendingRecords::readRating(int& rating)
{
    if (!m_ratingRead)
        m_ratingRead = m_ratingSource && m_ratingSource(m_rating);
    rating = m_rating.value();
    return m_ratingRead;
}

PendingRecords::StoreResult PendingRecords::store(Database* db, const Record& record)
{
    if (!db || !db->getDb())
        return Transient;
    int rc = RC_OK;
    switch (record.kind) {
    case Record::Answer:
        rc = db->saveAnswer(record.userId, record.variant, record.value, record.time);
        if (rc == RC_OK && m_ratingRead)
            m_rating.add(record.variant, record.value);
        break;
    case Record::RunStart: {
        int start = 0;
        if (!readRating(start))
            return Transient;
        m_runStarts.insert(record.run, start);
        return Stored;
    }
    case Record::Mark: {
        int delta = record.ratingDelta;
        if (record.measuredAtSave) {
            int now = 0;
            if (!readRating(now))
                return Transient;
            int start = record.rating;
            if (start < 0 && !runStartRating(record.run, start))
                LOG_WARN(Channel, "the rating change of %s is stored as 0: its starting rating could not be read",
                         record.variant.path.toUtf8().constData());
            delta = start < 0 ? 0 : now - start;
        }
        rc = db->saveMark(record.userId, record.variant.path, record.value, delta, record.time);
        break;
    }
    case Record::Rating: {
        int value = record.rating;
        if (record.measuredAtSave && !readRating(value))
            return Transient;
        rc = db->saveRating(record.userId, value, record.practice, record.time);
        break;
    }
    case Record::States: {
        DatabaseTransaction transaction(db);
        for (const StateWrite& w : record.states) {
            rc = w.select ? db->setSelectedElement(record.userId, w.path)
                          : db->saveElementState(record.userId, w.path, w.state);
            if (rc != RC_OK)
                break;
        }
        if (rc != RC_OK) {
            const bool transient = db->lastFailureIsTransient();
            transaction.rollback();
            return transient ? Transient : Permanent;
        }
        if (!transaction.commit())
            return db->lastFailureIsTransient() ? Transient : Permanent;
        return Stored;
    }
    }
    if (rc == RC_OK)
        return Stored;
    return db->lastFailureIsTransient() ? Transient : Permanent;
}

PendingRecords::StoreResult PendingRecords::storeOnce(Database* db, const Record& record, IdStatement& insertId)
{
    // A run's start writes nothing: measured again, it is measured behind the same records.
    if (record.id.isEmpty() || record.kind == Record::RunStart)
        return store(db, record);
    if (!db || !db->getDb())
        return Transient;
    sqlite3* handle = db->getDb();
    if (!insertId) {
        DatabaseQuery q(db);
        q.exec("CREATE TABLE IF NOT EXISTS kept_saved (id TEXT PRIMARY KEY) WITHOUT ROWID");
        sqlite3_stmt* statement = nullptr;
        if (q.isOK())
            db->noteResult(sqlite3_prepare_v2(handle, "INSERT OR IGNORE INTO kept_saved (id) VALUES (?)", -1,
                                              &statement, nullptr));
        insertId.reset(statement);
        if (!insertId)
            return db->lastFailureIsTransient() ? Transient : Permanent;
    }
    // Its id goes in with it: once it is there, the record is in, whatever file still holds it.
    const QByteArray id = record.id.toUtf8();
    sqlite3_bind_text(insertId.get(), 1, id.constData(), id.size(), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(insertId.get());
    sqlite3_reset(insertId.get());
    if (rc != SQLITE_DONE) {
        db->noteResult(sqlite3_extended_errcode(handle));
        return db->lastFailureIsTransient() ? Transient : Permanent;
    }
    if (sqlite3_changes(handle) == 0) {
        LOG_DEBUG(Channel, "record %s was saved before", id.constData());
        ++m_savedEarlier;
        return Stored;
    }
    const StoreResult result = store(db, record);
    if (result != Stored) {
        const int failure = sqlite3_extended_errcode(handle);
        DatabaseQuery(db).exec("DELETE FROM kept_saved WHERE id = '%q'", id.constData());
        db->noteResult(failure);
    }
    return result;
}

PendingRecords::Outcome PendingRecords::save(Database* db, const QList<Record>& records)
{
    // Called again from inside a save (the fatal report's last save, a screen's timer while a
    // report is open, the window's events in a recovery's pause): the records wait behind the
    // ones being saved.
    if (m_saving) {
        m_arrived.append(records);
        return records.isEmpty() ? Saved : Kept;
    }
    m_saving = true;
    const int keptBefore = m_kept.count();
    m_kept.append(records);
    std::vector<StoreResult> results(static_cast<size_t>(m_kept.count()), Untried);
    IdStatement insertId(nullptr, &sqlite3_finalize);
    bool busy = false;
    bool stopped = false;
    int i = 0;
    // In transactions of many records each: one commit, not one per record, and a batch that
    // does not commit is tried again whole.
    while (i < m_kept.count() && !stopped) {
        const int first = i;
        const int savedEarlier = m_savedEarlier;
        DatabaseTransaction batch(db);
        // Between transactions the answers may change (an earlier one rolled back, another program).
        m_ratingRead = false;
        QElapsedTimer clock;
        clock.start();
        QStringList ids;
        bool lost = false;
        for (; i < m_kept.count() && i - first < BatchRecords && clock.elapsed() < BatchMs; ++i) {
            StoreResult& result = results[static_cast<size_t>(i)];
            if (result == Permanent)
                continue;  // set aside in an earlier try of this batch
            result = storeOnce(db, m_kept.at(i), insertId);
            // A failed statement may have ended the whole transaction (a full disk, a trigger's
            // ROLLBACK): what the batch stored before it is gone too.
            lost = result != Stored && batch.isActive() && sqlite3_get_autocommit(db->getDb());
            if (result == Transient) {
                // After a wait for another program's lock, the next try would wait as long again.
                busy = db && db->lastFailureWasBusy();
                stopped = true;
                break;
            }
            if (result == Stored && !m_kept.at(i).id.isEmpty())
                ids << m_kept.at(i).id;
            if (lost) {
                ++i;
                break;
            }
        }
        if (lost || !batch.commit()) {
            m_savedEarlier = savedEarlier;  // found again when the batch is tried again
            if (!lost) {
                busy = db->lastFailureWasBusy();
                stopped = true;
            }
            for (int j = first; j < i; ++j) {
                if (results[static_cast<size_t>(j)] == Stored)
                    results[static_cast<size_t>(j)] = Untried;
            }
            if (!stopped)
                i = first;  // again, without the record refused for good
            continue;
        }
        m_savedIds << ids;
        if (m_pause && i < m_kept.count())
            m_pause();
    }

    QJsonArray refused;
    for (int k = 0; k < m_kept.count(); ++k) {
        if (results[static_cast<size_t>(k)] == Permanent)
            refused.append(toJson(m_kept.at(k)));
    }
    // Refused for good (a constraint, a trigger): tried again it would be refused again. Kept
    // when no folder takes them: never dropped.
    const bool refusedAside = refused.isEmpty()
        || setAside(listJson(refused), "refused",
                    QStringLiteral("%1 records refused by the learner database").arg(refused.count()));
    if (refusedAside)
        m_refused += refused.count();
    QList<Record> stillKept;
    bool givenKept = false;
    bool givenRefused = false;
    int earlierSaved = 0;
    for (int k = 0; k < m_kept.count(); ++k) {
        Record& record = m_kept[k];
        const StoreResult result = results[static_cast<size_t>(k)];
        if (result == Stored && k < keptBefore)
            ++earlierSaved;
        const bool keep = result == Untried || result == Transient || (result == Permanent && !refusedAside);
        if (keep) {
            // A mark whose run's start was measured carries it from here on, also into the file.
            if (record.kind == Record::Mark && record.rating < 0)
                runStartRating(record.run, record.rating);
            stillKept.append(record);
        }
        if (k >= keptBefore) {
            givenKept = givenKept || keep;
            givenRefused = givenRefused || (result == Permanent && refusedAside);
        }
    }
    const bool changed = earlierSaved > 0 || stillKept.count() != keptBefore || !m_arrived.isEmpty()
        || m_unpersisted;
    m_kept = stillKept + m_arrived;
    m_arrived.clear();
    m_saving = false;
    m_ratingRead = false;
    if (earlierSaved > 0)
        LOG_INFO(Channel, "saved %d records kept from earlier", earlierSaved);
    if (!m_kept.isEmpty())
        LOG_WARN(Channel, "%d records not saved yet, kept for the next save%s", m_kept.count(),
                 busy ? " (the database is in use by another program)" : "");
    if (changed)
        persist(db);
    endLeftAlone();
    return givenRefused ? Refused : givenKept ? Kept : Saved;
}

PendingRecords::Outcome PendingRecords::saveUnkept(Database* db, const Record& record)
{
    return store(db, record) == Stored ? Saved : Refused;
}

void PendingRecords::setFolders(const QStringList& folders, const QString& name, const QStringList& olderFiles)
{
    m_folders = folders;
    m_name = name;
    m_olderFiles = olderFiles;
}

void PendingRecords::leftAlone(const QString& path, const QString& why)
{
    if (m_warned.contains(path))
        return;
    m_warned.insert(path);
    if (m_leftAlone.take())
        LOG_WARN(Channel, "%s left alone: %s", path.toUtf8().constData(), why.toUtf8().constData());
}

void PendingRecords::endLeftAlone()
{
    if (const int count = m_leftAlone.end())
        LOG_WARN(Channel, "%d names left alone in all, the first %d said", count, LeftAloneSaid);
}

bool PendingRecords::usable(int folder, bool make)
{
    QString& path = m_folders[folder];
    if (folder == 0)
        return true;
    QString why;
    const QString made = make ? PrivateFolder::make(path, why) : QString();
    if (!made.isEmpty())
        path = made;  // a pattern's folder has its name once it is made
    if (!made.isEmpty() || (!make && PrivateFolder::check(path, why)))
        return true;
    struct stat st;
    const bool there = ::lstat(QFile::encodeName(path).constData(), &st) == 0;
    // The learner's own folder of another mode: what it holds is named to them, not taken.
    if (there && !make && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && !m_warned.contains(path)) {
        const int files = QDir(path).entryList({m_name + QStringLiteral(".*unsaved.json")}, QDir::Files).count();
        if (files > 0)
            m_openFolders.append({path, static_cast<int>(st.st_mode & 07777), files});
    }
    if (make || there)
        leftAlone(path, why);
    return false;
}

void PendingRecords::persist(Database* db)
{
    const QString before = m_keptIn;
    bool written = count() == 0;
    // A run's start alone is worth nothing to a later run: its mark never came.
    if (written) {
        if (m_own)
            m_own->remove();
        m_own.reset();
        m_keptIn.clear();
    } else {
        QJsonArray list;
        for (Record& r : m_kept) {
            if (r.id.isEmpty())
                r.id = QStringLiteral("%1-%2").arg(m_token).arg(++m_lastId);
            list.append(toJson(r));
        }
        const QByteArray text = listJson(list);
        for (int folder = 0; folder < m_folders.count() && !written; ++folder) {
            if (!usable(folder, true))
                continue;
            const QString path =
                QDir(m_folders.at(folder)).filePath(QStringLiteral("%1.%2.unsaved.json").arg(m_name, m_token));
            QString why;
            std::unique_ptr<PendingRecordsFile> file = PendingRecordsFile::write(path, text, why);
            if (file) {
                if (m_own && m_own->path() != path)
                    m_own->remove();
                m_own = std::move(file);
                written = true;
                continue;
            }
            if (!m_warned.contains(path))
                LOG_WARN(Channel, "cannot write the kept records to %s: %s", path.toUtf8().constData(),
                         why.toUtf8().constData());
            m_warned.insert(path);
        }
        m_keptIn = written ? m_own->path() : QString();
        if (!written && !m_folders.isEmpty()) {
            if (unfiledCount() > 0)
                LOG_ERROR(Channel, "%d records are kept in memory only: no folder takes them", unfiledCount());
        } else if (m_keptIn != before)
            LOG_INFO(Channel, "kept records written to %s", m_keptIn.toUtf8().constData());
    }
    if (!written)
        return;  // the files hold what they held: a saved record's id still guards it
    m_filed.clear();
    if (m_own) {
        for (const Record& r : qAsConst(m_kept))
            m_filed.insert(r.id);
    }
    m_unpersisted = false;
    bool gone = true;
    for (const std::unique_ptr<PendingRecordsFile>& file : m_taken)
        gone = file->remove() && gone;
    m_taken.clear();
    if (gone)
        forgetSavedIds(db);
    else
        m_savedIds.clear();  // guarding the records another name holds; a later start forgets them
}

void PendingRecords::forgetSavedIds(Database* db)
{
    if (m_savedIds.isEmpty() || !db || !db->getDb())
        return;
    DatabaseTransaction transaction(db);
    DatabaseQuery q(db);
    for (int i = 0; i < m_savedIds.count() && q.isOK(); i += 500) {
        QByteArray list;
        for (const QString& id : m_savedIds.mid(i, 500))
            list += (list.isEmpty() ? "'" : ",'") + id.toUtf8().replace('\'', "''") + "'";
        q.exec("DELETE FROM kept_saved WHERE id IN (%s)", list.constData());
    }
    // Left for the next rewrite when the database cannot take it now.
    if (q.isOK() && transaction.commit())
        m_savedIds.clear();
}

QString PendingRecords::sideName(const char* what)
{
    return QStringLiteral("%1.%2-%3.%4.json").arg(m_name, m_token).arg(++m_sideFiles).arg(QLatin1String(what));
}

bool PendingRecords::setAside(const QByteArray& text, const char* what, const QString& why)
{
    for (int folder = 0; folder < m_folders.count(); ++folder) {
        if (!usable(folder, true))
            continue;
        const QString path = QDir(m_folders.at(folder)).filePath(sideName(what));
        QString failure;
        if (PendingRecordsFile::create(path, text, failure)) {
            m_setAsideIn << path;
            LOG_ERROR(Channel, "%s: set aside in %s", why.toUtf8().constData(), path.toUtf8().constData());
            return true;
        }
        LOG_WARN(Channel, "cannot write %s: %s", path.toUtf8().constData(), failure.toUtf8().constData());
    }
    LOG_ERROR(Channel, "%s: no folder takes them", why.toUtf8().constData());
    return false;
}

bool PendingRecords::setAsideFile(PendingRecordsFile& file, const QString& why, int& count)
{
    const QString from = file.path();
    const QString aside = QFileInfo(from).dir().filePath(sideName("unreadable"));
    QString failure;
    if (file.rename(aside, failure)) {
        ++count;
        m_setAsideIn << aside;
        LOG_ERROR(Channel, "%s: set aside as %s", why.toUtf8().constData(), aside.toUtf8().constData());
        return true;
    }
    LOG_ERROR(Channel, "%s: it stays where it is, for it cannot be renamed: %s", why.toUtf8().constData(),
              failure.toUtf8().constData());
    m_leftIn << from;
    return false;
}

void PendingRecords::breathe()
{
    if (m_pause && m_sincePause.elapsed() >= PauseMs) {
        m_pause();
        m_sincePause.restart();
    }
}

bool PendingRecords::takeFile(const QString& path, QList<QList<Record>>& runs, Files& taken)
{
    QString why;
    std::unique_ptr<PendingRecordsFile> file = PendingRecordsFile::take(path, why);
    if (!file) {
        if (why.isEmpty())
            return true;  // no file there
        leftAlone(path, why);
        // A symlink, a FIFO or another user's file holds none of the learner's records.
        const QFileInfo info(path);
        return info.isSymLink() || !info.isFile() || info.ownerId() != ::geteuid();
    }
    try {
        return readFile(std::move(file), runs, taken);
    } catch (const std::exception& e) {
        // Out of memory: the start goes on, and a later one reads the file.
        LOG_ERROR(Channel, "%s cannot be read now (%s): it stays where it is", path.toUtf8().constData(), e.what());
        m_leftIn << path;
        return false;
    }
}

bool PendingRecords::readFile(std::unique_ptr<PendingRecordsFile> file, QList<QList<Record>>& runs, Files& taken)
{
    const QString path = file->path();
    const qint64 size = file->size();
    QByteArray content;
    QString why;
    bool ok = file->read(content, 64, why);
    // Not read further when it cannot be one of this program's files: set aside by a new name.
    if (ok && size > MaxFileBytes)
        return setAsideFile(*file, QStringLiteral("%1 is larger than this program reads (%2 bytes)").arg(path).arg(size),
                            m_tooLarge);
    if (ok && !startsLikeRecords(content))
        return setAsideFile(*file, QStringLiteral("%1 is not a file of records").arg(path), m_unreadable);
    content.reserve(static_cast<int>(size));
    while (ok && content.size() < size) {
        const int before = content.size();
        ok = file->read(content, std::min<qint64>(size, before + (1 << 20)), why);
        if (content.size() == before)
            break;  // shorter than it was
        breathe();
    }
    if (!ok) {
        LOG_ERROR(Channel, "cannot read %s: %s; it stays where it is", path.toUtf8().constData(),
                  why.toUtf8().constData());
        m_leftIn << path;
        return false;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(content, &error);
    const QJsonValue list = doc.object().value(QLatin1String("records"));
    breathe();
    if (!list.isArray()) {
        // Damaged (cut short, not ours): kept aside whole, not read again at every start.
        return setAsideFile(*file, QStringLiteral("%1 cannot be read (%2)").arg(path, error.errorString()), m_unreadable);
    }
    // A file of an earlier version: its records are named by what it holds, the same at every start.
    const QString legacy = QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex().left(16));
    content.clear();
    QList<Record> run;
    QJsonArray bad;
    const char* firstFault = nullptr;
    int index = 0;
    for (const QJsonValue& v : list.toArray()) {
        Record r;
        const char* fault = fromJson(v, r);
        if (fault) {
            bad.append(v);
            firstFault = firstFault ? firstFault : fault;
        } else {
            if (r.id.isEmpty())
                r.id = QStringLiteral("old%1-%2").arg(legacy).arg(index);
            run.append(r);
        }
        ++index;
        breathe();
    }
    if (!bad.isEmpty()) {
        const QString fault = QStringLiteral("%1 records of %2 are not sound (the first: %3)")
                                  .arg(bad.count())
                                  .arg(path)
                                  .arg(QLatin1String(firstFault));
        if (!setAside(listJson(bad), "unreadable", fault)) {
            // Taken in, the sound records would leave the file to be removed with the rest.
            LOG_ERROR(Channel, "%s stays where it is, none of its records taken in", path.toUtf8().constData());
            m_leftIn << path;
            return false;
        }
        m_unreadable += bad.count();
    }
    LOG_INFO(Channel, "%d records kept by an earlier run found in %s", run.count(), path.toUtf8().constData());
    if (file->hasOtherNames()) {
        LOG_WARN(Channel, "%s has other names: they keep its records when it goes", path.toUtf8().constData());
        m_linkedIn << path;
    }
    if (!run.isEmpty())
        runs.append(run);
    taken.push_back(std::move(file));
    return true;
}

int PendingRecords::load(Database* db)
{
    m_sincePause.start();
    QList<QList<Record>> runs;  // one list per file, each in the order it was kept
    // Collected here and handed over at the end: a save in a pause removes none of them.
    Files taken;
    // Every file that may hold the learner's records was read.
    bool whole = true;
    auto take = [&](const QString& path) {
        auto isPath = [&path](const std::unique_ptr<PendingRecordsFile>& f) { return f->path() == path; };
        const bool ours = (m_own && m_own->path() == path) || std::any_of(m_taken.begin(), m_taken.end(), isPath)
            || std::any_of(taken.begin(), taken.end(), isPath);
        if (!ours)
            whole = takeFile(path, runs, taken) && whole;
        breathe();
    };
    for (int folder = 0; folder < m_folders.count(); ++folder) {
        if (!usable(folder, false))
            continue;
        const QDir dir(m_folders.at(folder));
        for (const QString& name : dir.entryList({m_name + QStringLiteral(".*unsaved.json")},
                                                 QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
            take(dir.filePath(name));
        // Half-written by a run killed while writing (locked while a live one writes): never read.
        for (const QString& name : dir.entryList({QLatin1Char('.') + m_name + QStringLiteral(".*.unsaved.json.*")},
                                                 QDir::Files | QDir::Hidden)) {
            QString why;
            if (std::unique_ptr<PendingRecordsFile> left = PendingRecordsFile::take(dir.filePath(name), why))
                left->remove();
            else if (!why.isEmpty())
                whole = false;
        }
    }
    for (const QString& path : qAsConst(m_olderFiles))
        take(path);
    endLeftAlone();
    // A folder of the learner's own left alone may hold them too.
    whole = whole && m_openFolders.isEmpty();
    // Files of different runs: the older run's records first.
    std::stable_sort(runs.begin(), runs.end(),
                     [](const QList<Record>& a, const QList<Record>& b) { return a.first().time < b.first().time; });
    // A record in two files (a kill between writing one and removing the other) is taken once.
    QSet<QString> ids;
    for (const Record& r : qAsConst(m_kept))
        ids.insert(r.id);
    QList<Record> loaded;
    for (const QList<Record>& run : qAsConst(runs)) {
        for (const Record& r : run) {
            if (!ids.contains(r.id)) {
                ids.insert(r.id);
                loaded.append(r);
            }
        }
    }
    for (const Record& r : qAsConst(loaded))
        m_filed.insert(r.id);  // their files stay until this run's own file holds them
    m_kept = loaded + m_kept;
    for (std::unique_ptr<PendingRecordsFile>& file : taken)
        m_taken.push_back(std::move(file));
    m_unpersisted = m_unpersisted || !m_taken.empty();
    // An id left by a kill after the files went, or by a forgetting that failed: no file holds its
    // record, and those of the files taken go with them.
    if (whole && db && db->getDb()) {
        DatabaseQuery table(db);
        table.exec("SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'kept_saved'");
        // Not those of records taken in: still kept, their ids guard them; saved, they go then.
        if (table.numRows() > 0)
            DatabaseQuery(db).execEach(
                [this, &ids](int, char** values, char**) {
                    const QString id = QString::fromUtf8(values[0]);
                    if (!ids.contains(id))
                        m_savedIds << id;
                },
                "SELECT id FROM kept_saved");
        if (m_taken.empty())
            forgetSavedIds(db);
    }
    return static_cast<int>(std::count_if(loaded.begin(), loaded.end(),
                                          [](const Record& r) { return r.kind != Record::RunStart; }));
}

}  // namespace edufrmwk
