#include "pitch/WaveletStrategy.h"

#include "pitch/DyWaPitchTracker.h"
#include "pitch/PitchDetector.h"
#include "pitch/onset/SignalMath.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSampleRate = 44100.0;
// A piece 20 dB over that floor: a note has been heard, and the floor is the room's.
constexpr double kOverRoom = 10.0;
// Within 6 dB of the room's floor: the room between notes, not a note's quiet tail.
constexpr double kRoomLevel = 2.0;
} // namespace

WaveletStrategy::WaveletStrategy() : mp_tracker(new _dywapitchtracker), m_floor(static_cast<int>(kSampleRate))
{
    dywapitch_inittracking(mp_tracker);
}

WaveletStrategy::~WaveletStrategy()
{
    delete mp_tracker;
}

void WaveletStrategy::reset()
{
    dywapitch_inittracking(mp_tracker);
    m_floor.reset();
    m_loudest = 0.0;
    m_heardNote = false;
}

bool WaveletStrategy::belowNoiseFloor(const double* samples, int count, int fresh, double calibratedFloor)
{
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum += samples[i] * samples[i];
    const double level = count > 0 ? std::sqrt(sum / count) : 0.0;
    // Not held through notes, as the onsets' floor is: held, it stays under a loud low rumble's
    // swings and the rumble between notes is tracked as pitch.
    m_floor.hear(level, fresh, false);
    m_loudest = std::max(m_loudest, level);
    const bool aboveRoom = m_loudest > kOverRoom * m_floor.level();
    m_heardNote = m_heardNote || aboveRoom;
    return level < calibratedFloor || (aboveRoom && level < kRoomLevel * m_floor.level());
}

void WaveletStrategy::process(QVector<double>& block, PitchDetector* detector)
{
    const int pieces = static_cast<int>(detector->pieceCount());
    // One sample more than an even split; the last piece is the shorter.
    const int length = static_cast<int>(detector->m_blockSize) / pieces + 1;
    const int size = block.size();
    // The tracker reads a power of two of samples: the last piece of a 2048 block (1023 samples)
    // would give it only 512, under two periods of a note below 170 Hz, and every other result of a
    // low note was lost. A short piece reads the full span that ends where the piece ends.
    const int span = _floor_power2(length);
    for (int i = 0; i < pieces; ++i) {
        int start = i * length;
        int count = std::min(length, size - start);
        const int fresh = count; // samples this piece adds; a short one reads some of the last piece's again
        if (count > 0 && _floor_power2(count) < span) {
            const int end = start + count;
            start = std::max(0, end - span);
            count = end - start;
        }
        double pitch = 0.0;
        if (count > 0) {
            if (belowNoiseFloor(block.data() + start, count, fresh, detector->m_noiseFloor))
                _dywapitch_dynamicprocess(mp_tracker, 0.0); // as a piece without pitch; nothing is submitted from it
            else
                pitch = dywapitch_computepitch(mp_tracker, block.data(), start, count);
            // Before anything louder than the room has been heard, the floor cannot tell the room
            // from a note sounding from the start.
            if (pitch > 0.0 && !m_heardNote && !repeatsAtPeriod(block.data() + start, count, kSampleRate / pitch))
                pitch = 0.0;
        }
        detector->submitPitch(pitch);
    }
}
