#pragma once

#include <QFile>

// A file with an advisory whole-file lock (POSIX record locks). The lock on one well-known file
// decides which process is the running instance.
class QtLockedFile : public QFile {
public:
    enum LockMode { NoLock = 0, ReadLock, WriteLock };

    QtLockedFile();
    explicit QtLockedFile(const QString& name);
    ~QtLockedFile() override;

    // Refuses Truncate. Never follows a symbolic link, accepts only a regular file of this user's,
    // and creates the file (in a writing mode) readable and writable by its owner only.
    bool open(OpenMode mode) override;
    // The name the file was opened by (opening through a descriptor would otherwise forget it).
    QString fileName() const override;

    bool lock(LockMode mode, bool block);
    bool unlock();
    bool isLocked() const { return m_lockMode != NoLock; }
    LockMode lockMode() const { return m_lockMode; }

    // True when the last lock() failed for a reason other than another process holding the lock
    // (or an interrupted wait): the file is not open, or the system refused it.
    bool lockFileUnusable() const { return m_unusable; }

private:
    QString m_openedName;
    LockMode m_lockMode = NoLock;
    bool m_unusable = false;
};
