#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace edufrmwk {

// One file of kept records, held with an exclusive lock while this process owns it: another
// process on the same database leaves it alone, and a later start takes it once its process is
// gone (the lock goes with the process, also when it is killed). Whatever is found at a name is
// hostile input: a symlink is not followed, a FIFO or device does not block the open, and only a
// regular file the learner owns and that no one else may write is taken. Another name of it (a
// backup's link) is harmless: the file is read, never written, and only this name goes.
class PendingRecordsFile {
public:
    ~PendingRecordsFile();
    PendingRecordsFile(const PendingRecordsFile&) = delete;
    PendingRecordsFile& operator=(const PendingRecordsFile&) = delete;

    // The file at path, open and locked; null when there is none to take, with why (empty when
    // there is no file at all).
    static std::unique_ptr<PendingRecordsFile> take(const QString& path, QString& why);
    // text as the content of path: written to a private file beside it (0600), locked, then renamed
    // over path, so that no one ever reads half of it and nothing is written through the old name.
    static std::unique_ptr<PendingRecordsFile> write(const QString& path, const QByteArray& text, QString& why);
    // A new file of text at path (0600) that replaces nothing.
    static bool create(const QString& path, const QByteArray& text, QString& why);

    qint64 size() const;
    // More of the file after text (its start), up to length bytes in all; false on an error.
    bool read(QByteArray& text, qint64 length, QString& why) const;
    // Gives the file a new name that replaces nothing, in place of this one (no byte is copied).
    bool rename(const QString& path, QString& why);
    // Removes the name, when it still leads to this file; false when the file keeps another name.
    bool remove();
    // The file has names besides this one.
    bool hasOtherNames() const;
    const QString& path() const { return m_path; }

private:
    PendingRecordsFile(int fd, const QString& path);
    // The name leads to this file (not replaced since it was taken).
    bool leadsHere(const QByteArray& name) const;

    int m_fd;
    QString m_path;
};

}  // namespace edufrmwk
