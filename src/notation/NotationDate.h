#pragma once

#include <QString>

// A musical date or duration as an exact fraction of a whole note (the engine's {num, denom}).
// Kept reduced with a positive denominator; a zero denominator marks an invalid date.
class NotationDate {
public:
    NotationDate() = default;
    NotationDate(long long num, long long denom);

    // "n/d" as the engine's maps write it; an unreadable text gives an invalid date.
    static NotationDate fromString(const QString& text);

    long long num() const { return m_num; }
    long long denom() const { return m_denom; }
    bool isValid() const { return m_denom != 0; }
    double toDouble() const { return m_denom ? double(m_num) / double(m_denom) : 0.0; }
    QString toString() const;

    NotationDate operator+(const NotationDate& o) const;
    NotationDate operator-(const NotationDate& o) const;
    NotationDate operator*(const NotationDate& o) const;
    NotationDate& operator+=(const NotationDate& o) { return *this = *this + o; }
    NotationDate& operator-=(const NotationDate& o) { return *this = *this - o; }

    bool operator==(const NotationDate& o) const { return m_num == o.m_num && m_denom == o.m_denom; }
    bool operator!=(const NotationDate& o) const { return !(*this == o); }
    bool operator<(const NotationDate& o) const;
    bool operator>(const NotationDate& o) const { return o < *this; }
    bool operator<=(const NotationDate& o) const { return !(o < *this); }
    bool operator>=(const NotationDate& o) const { return !(*this < o); }

private:
    long long m_num = 0;
    long long m_denom = 1;
};
