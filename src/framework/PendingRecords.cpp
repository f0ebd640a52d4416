#include "framework/PendingRecords.h"

#include "debug/Debugging.h"
#include "framework/Database.h"
#include "framework/DatabaseTransaction.h"
#include "framework/ResultCodes.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace edufrmwk {

namespace {

const char* const Channel = "fmwk";

const char* const KindNames[] = {"answer", "mark", "rating", "states", "start"};

QJsonObject toJson(const PendingRecords::Record& r)
{
    QJsonObject o;
    o["kind"] = QLatin1String(KindNames[r.kind]);
    o["user"] = r.userId;
    o["time"] = r.time.toString(Qt::ISODateWithMs);
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

bool fromJson(const QJsonObject& o, PendingRecords::Record& r)
{
    const QString kind = o.value("kind").toString();
    const auto* name = std::find_if(std::begin(KindNames), std::end(KindNames),
                                    [&kind](const char* n) { return kind == QLatin1String(n); });
    if (name == std::end(KindNames))
        return false;
    r.kind = static_cast<PendingRecords::Record::Kind>(name - std::begin(KindNames));
    r.userId = o.value("user").toInt();
    r.time = QDateTime::fromString(o.value("time").toString(), Qt::ISODateWithMs);
    r.value = o.value("value").toDouble();
    r.ratingDelta = o.value("ratingDelta").toInt();
    r.rating = o.value("rating").toInt();
    r.measuredAtSave = o.value("measuredAtSave").toBool();
    r.practice = o.value("practice").toBool();
    r.run = o.value("run").toString().toLongLong();
    switch (r.kind) {
    case PendingRecords::Record::Answer: {
        const QString flat = o.value("variant").toString();
        if (flat.split(QLatin1Char('@')).count() != 2)
            return false;
        r.variant = QuestionVariant(flat);
        break;
    }
    case PendingRecords::Record::Mark:
        r.variant.path = o.value("path").toString();
        break;
    case PendingRecords::Record::Rating:
    case PendingRecords::Record::RunStart:
        break;
    case PendingRecords::Record::States:
        for (const QJsonValue& v : o.value("states").toArray()) {
            const QJsonObject w = v.toObject();
            r.states.append({w.value("path").toString(), ElementState::strToState(w.value("state").toString()),
                             w.value("select").toBool()});
        }
        break;
    }
    return r.time.isValid() && r.userId > 0;
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

int PendingRecords::count() const
{
    return static_cast<int>(std::count_if(m_kept.begin(), m_kept.end(),
                                          [](const Record& r) { return r.kind != Record::RunStart; }));
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
    return m_ratingSource && m_ratingSource(rating);
}

PendingRecords::StoreResult PendingRecords::store(Database* db, const Record& record)
{
    if (!db || !db->getDb())
        return Transient;
    int rc = RC_OK;
    switch (record.kind) {
    case Record::Answer:
        rc = db->saveAnswer(record.userId, record.variant, record.value, record.time);
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

PendingRecords::Outcome PendingRecords::save(Database* db, const QList<Record>& records)
{
    // Called again from inside a save (the fatal report's last save, a screen's timer while a
    // report is open): the records wait behind the ones being saved.
    if (m_saving) {
        m_arrived.append(records);
        return records.isEmpty() ? Saved : Kept;
    }
    m_saving = true;
    const int keptBefore = m_kept.count();
    m_kept.append(records);
    // A mark whose run's start was measured already carries it from here on, also into the file.
    for (int i = keptBefore; i < m_kept.count(); ++i) {
        Record& given = m_kept[i];
        if (given.kind == Record::Mark && given.rating < 0)
            runStartRating(given.run, given.rating);
    }
    QList<Record> stillKept;
    bool busy = false;
    bool givenKept = false;
    bool givenRefused = false;
    int earlierSaved = 0;
    for (int i = 0; i < m_kept.count(); ++i) {
        const Record& record = m_kept.at(i);
        StoreResult result = Transient;
        if (!busy) {
            result = store(db, record);
            // After a wait for another program's lock, the next try would wait as long again.
            busy = result == Transient && db && db->lastFailureWasBusy();
        }
        // A run's start measured: its mark takes it along, also into the file.
        if (result == Stored && record.kind == Record::RunStart) {
            for (int j = i + 1; j < m_kept.count(); ++j) {
                Record& later = m_kept[j];
                if (later.kind == Record::Mark && later.run == record.run && later.rating < 0)
                    later.rating = m_runStarts.value(record.run);
            }
        }
        // Answers, marks and ratings are kept whatever refused them (a value that is not a number
        // would be refused again: dropped); a state change the database refuses is undone instead.
        const bool keep = result == Transient
            || (result == Permanent && record.kind != Record::States && std::isfinite(record.value));
        if (result == Stored && i < keptBefore)
            ++earlierSaved;
        if (keep)
            stillKept.append(record);
        if (i >= keptBefore) {
            givenKept = givenKept || keep;
            givenRefused = givenRefused || (result != Stored && !keep);
        }
    }
    const bool changed = earlierSaved > 0 || stillKept.count() != keptBefore || !m_arrived.isEmpty();
    m_kept = stillKept + m_arrived;
    m_arrived.clear();
    m_saving = false;
    if (earlierSaved > 0)
        LOG_INFO(Channel, "saved %d records kept from earlier", earlierSaved);
    if (!m_kept.isEmpty())
        LOG_WARN(Channel, "%d records not saved yet, kept for the next save%s", m_kept.count(),
                 busy ? " (the database is in use by another program)" : "");
    if (changed)
        persist();
    return givenRefused ? Refused : givenKept ? Kept : Saved;
}

PendingRecords::Outcome PendingRecords::saveUnkept(Database* db, const Record& record)
{
    return store(db, record) == Stored ? Saved : Refused;
}

void PendingRecords::persist()
{
    const QString before = m_keptIn;
    m_keptIn.clear();
    // A run's start alone is worth nothing to a later run: its mark never came.
    if (count() > 0) {
        QJsonArray list;
        for (const Record& r : qAsConst(m_kept))
            list.append(toJson(r));
        const QByteArray text = QJsonDocument(QJsonObject{{"records", list}}).toJson(QJsonDocument::Compact);
        for (const QString& file : qAsConst(m_files)) {
            QSaveFile out(file);
            m_touched.insert(file);
            if (out.open(QIODevice::WriteOnly) && out.write(text) == text.size() && out.commit()) {
                m_keptIn = file;
                break;
            }
            LOG_WARN(Channel, "cannot write the kept records to %s: %s", file.toUtf8().constData(),
                     out.errorString().toUtf8().constData());
        }
        if (m_keptIn.isEmpty() && !m_files.isEmpty())
            LOG_ERROR(Channel, "%d records are kept in memory only: no file takes them", m_kept.count());
        else if (m_keptIn != before)
            LOG_INFO(Channel, "kept records written to %s", m_keptIn.toUtf8().constData());
    }
    // Every other copy goes: a record saved since would be saved again from it. Only files this
    // run wrote or read: another program's file of the same name in a shared folder is not ours.
    for (const QString& file : qAsConst(m_touched)) {
        if (file != m_keptIn && QFile::exists(file) && !QFile::remove(file))
            LOG_ERROR(Channel, "cannot remove %s", file.toUtf8().constData());
    }
}

int PendingRecords::load()
{
    QList<QList<Record>> runs;  // one list per file, each in the order it was kept
    for (const QString& file : qAsConst(m_files)) {
        QFile in(file);
        if (!in.exists())
            continue;
        m_touched.insert(file);
        QJsonParseError error;
        const QJsonDocument doc = in.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(in.readAll(), &error)
                                                                : QJsonDocument();
        in.close();
        int taken = 0;
        int bad = 0;
        QList<Record> run;
        for (const QJsonValue& v : doc.object().value("records").toArray()) {
            Record r;
            if (fromJson(v.toObject(), r)) {
                run.append(r);
                ++taken;
            } else {
                ++bad;
            }
        }
        if (!run.isEmpty())
            runs.append(run);
        if (doc.isNull() || bad > 0) {
            // Kept aside, not read again at every start, and not thrown away.
            const QString aside = file + QStringLiteral(".unreadable");
            QFile::remove(aside);
            QFile::rename(file, aside);
            LOG_ERROR(Channel, "%s could not be read whole (%d records taken, %d not); set aside as %s",
                      file.toUtf8().constData(), taken, bad, aside.toUtf8().constData());
        }
        LOG_INFO(Channel, "%d records kept by an earlier run found in %s", taken, file.toUtf8().constData());
    }
    // Files of different runs: the older run's records first.
    std::stable_sort(runs.begin(), runs.end(),
                     [](const QList<Record>& a, const QList<Record>& b) { return a.first().time < b.first().time; });
    QList<Record> loaded;
    for (const QList<Record>& run : qAsConst(runs))
        loaded.append(run);
    m_kept = loaded + m_kept;
    if (!loaded.isEmpty())
        persist();
    return static_cast<int>(std::count_if(loaded.begin(), loaded.end(),
                                          [](const Record& r) { return r.kind != Record::RunStart; }));
}

}  // namespace edufrmwk
