#include "notation/NotationDate.h"

#include <QStringList>

#include <limits>
#include <numeric>

namespace {
using Wide = __int128;

Wide gcdWide(Wide a, Wide b)
{
    if (a < 0)
        a = -a;
    if (b < 0)
        b = -b;
    while (b != 0) {
        const Wide t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// Reduces a wide fraction; one that does not fit is invalid rather than wrapped around.
NotationDate fromWide(Wide num, Wide denom)
{
    if (denom == 0)
        return NotationDate(0, 0);
    const Wide g = gcdWide(num, denom);
    if (g > 1) {
        num /= g;
        denom /= g;
    }
    if (denom < 0) {
        num = -num;
        denom = -denom;
    }
    const Wide limit = Wide(std::numeric_limits<long long>::max());
    if (num > limit || num < -limit || denom > limit)
        return NotationDate(0, 0);
    return NotationDate((long long)num, (long long)denom);
}
}

NotationDate::NotationDate(long long num, long long denom)
{
    if (denom == 0) {
        m_num = 0;
        m_denom = 0;
        return;
    }
    if (denom < 0) {
        num = -num;
        denom = -denom;
    }
    const long long g = std::gcd(num < 0 ? -num : num, denom);
    m_num = g ? num / g : num;
    m_denom = g ? denom / g : denom;
}

NotationDate NotationDate::fromString(const QString& text)
{
    const QStringList parts = text.trimmed().split('/');
    if (parts.size() != 2)
        return NotationDate(0, 0);
    bool okNum = false;
    bool okDenom = false;
    const long long num = parts[0].toLongLong(&okNum);
    const long long denom = parts[1].toLongLong(&okDenom);
    if (!okNum || !okDenom)
        return NotationDate(0, 0);
    return NotationDate(num, denom);
}

QString NotationDate::toString() const
{
    return QString("%1/%2").arg(m_num).arg(m_denom);
}

NotationDate NotationDate::operator+(const NotationDate& o) const
{
    if (!isValid() || !o.isValid())
        return NotationDate(0, 0);
    return fromWide(Wide(m_num) * o.m_denom + Wide(o.m_num) * m_denom, Wide(m_denom) * o.m_denom);
}

NotationDate NotationDate::operator-(const NotationDate& o) const
{
    if (!isValid() || !o.isValid())
        return NotationDate(0, 0);
    return fromWide(Wide(m_num) * o.m_denom - Wide(o.m_num) * m_denom, Wide(m_denom) * o.m_denom);
}

NotationDate NotationDate::operator*(const NotationDate& o) const
{
    if (!isValid() || !o.isValid())
        return NotationDate(0, 0);
    return fromWide(Wide(m_num) * o.m_num, Wide(m_denom) * o.m_denom);
}

bool NotationDate::operator<(const NotationDate& o) const
{
    // Denominators are positive, so cross-multiplying keeps the order.
    return Wide(m_num) * o.m_denom < Wide(o.m_num) * m_denom;
}
