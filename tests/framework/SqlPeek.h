#pragma once

#include <QString>
#include <QStringList>

// Reads a database file through its own connection, independent of the code under test.
// Each row is its column texts joined by "|", a NULL written as "<null>".
QStringList sqlRows(const QString& file, const QString& sql);
// Runs one statement on its own connection; true on success.
bool sqlRun(const QString& file, const QString& sql);

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}
