#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// The interaction lock of the whole user interface: a depth counter; screens react to input only
// while nothing holds it (depth 0). And what every screen may have to say about the learner
// records: a read that failed, records kept by an earlier run, records set aside, records waiting
// to be saved.
class QmlGlobals : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool interactionEnabled READ interactionEnabled NOTIFY interactionEnabledUpdated)
    // One plain line for the learner; empty when there is nothing to say.
    Q_PROPERTY(QString recordsNotice READ recordsNotice NOTIFY recordsNoticeChanged)
    // Answers, marks, ratings and state changes not saved yet, and whether a file holds them.
    Q_PROPERTY(int unsavedCount READ unsavedCount NOTIFY unsavedChanged)
    Q_PROPERTY(bool unsavedInFile READ unsavedInFile NOTIFY unsavedChanged)
public:
    static QmlGlobals* getInstance();

    bool interactionEnabled() const { return m_lockDepth == 0; }
    int lockDepth() const { return m_lockDepth; }

    Q_INVOKABLE void pushLock();
    Q_INVOKABLE void popLock();

    QString recordsNotice() const;
    int unsavedCount() const;
    bool unsavedInFile() const;
    // After each read of the records for a screen: a failed one is said until a read succeeds.
    void recordsRead(bool ok);
    // A read failed a moment ago (after waiting for the file): the other reads of the same screen
    // go without, rather than wait as long again each.
    bool recordsJustFailed() const;
    // Said once at start when it saved records an earlier run had kept.
    void announceRecovered();
    // After anything that may have kept or saved records.
    void checkUnsaved();
    Q_INVOKABLE void dismissRecordsNotice();

signals:
    void interactionEnabledUpdated();
    void recordsNoticeChanged();
    void unsavedChanged();

private:
    QmlGlobals() = default;
    void setNotices(bool unreadable, const QString& recovered, const QString& setAside);
    // Where records set aside (refused for good, or not recovered) or not taken in yet are, when
    // that changed since last said: said now.
    void checkSetAside();

    static QmlGlobals* mp_instance;
    int m_lockDepth = 0;
    bool m_unreadable = false;
    QElapsedTimer m_sinceFailure;
    QString m_recovered;
    QString m_setAside;
    QString m_setAsideSaid;
    int m_unsavedSeen = 0;
    bool m_inFileSeen = false;
};
