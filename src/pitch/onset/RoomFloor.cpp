#include "pitch/onset/RoomFloor.h"

#include <algorithm>
#include <cmath>

namespace {
// 3 dB a second: a room grown louder is heard again within seconds, while the quiet end of a phrase
// or a breath, a second or less, stays over the floor.
constexpr double kRisePerSecond = 1.41;
} // namespace

RoomFloor::RoomFloor(int samplingRate) : m_samplingRate(samplingRate)
{
}

void RoomFloor::hear(double level, int count, bool steady)
{
    if (m_floor < 0.0) {
        m_floor = level;
        return;
    }
    const double risen = steady ? m_floor : m_floor * std::pow(kRisePerSecond, count / m_samplingRate);
    m_floor = std::min(level, risen);
}
