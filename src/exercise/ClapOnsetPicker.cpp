#include "exercise/ClapOnsetPicker.h"

#include <algorithm>
#include <cmath>

namespace {
// one-pole high-pass at 500 Hz
const double kHighPass = 1.0 / (1.0 + 2.0 * M_PI * 500.0 / ClapOnsetPicker::kRate);
// how fast the room's level follows the hops: down quickly, up slowly (about 0.3 s)
const double kRoomFall = 0.2;
const double kRoomRise = 0.01;
const double kSilenceDb = -140.0;
}  // namespace

ClapOnsetPicker::ClapOnsetPicker(Listener listener) : m_listener(std::move(listener))
{
    reset();
}

void ClapOnsetPicker::reset()
{
    m_lastIn = 0.0;
    m_lastOut = 0.0;
    m_hop.fill(0.0);
    m_previousHop.fill(0.0);
    m_fill = 0;
    m_hopTime = 0.0;
    m_envelopeDb = kSilenceDb;
    m_envelopeBeforeDb = kSilenceDb;
    m_hopsSeen = 0;
    m_roomDb = kSilenceDb;
    m_lastAttack = -1e9;
    m_loudestSinceAttackDb = kSilenceDb;
    m_armed = true;
    m_skipping = false;
}

void ClapOnsetPicker::process(const double* samples, int count, double time)
{
    for (int i = 0; i < count; ++i) {
        const double x = samples[i];
        // Digital silence in a room loud enough to pass for a sound when heard again out of it is a
        // drop-out (samples the stream lost): skipped, so the room after it joins the room before it.
        // In a quieter room (a gated or muted microphone) it is silence, from which the next clap
        // rises. The hop goes on at the time of the sample after it.
        if (x == 0.0 && m_roomDb >= kFloorDb - kAboveRoomDb) {
            m_skipping = true;
            continue;
        }
        if (m_skipping || m_fill == 0)
            m_hopTime = time + (i - m_fill) / kRate;
        m_skipping = false;
        m_lastOut = kHighPass * (m_lastOut + x - m_lastIn);
        m_lastIn = x;
        m_hop[size_t(m_fill++)] = m_lastOut;
        if (m_fill == kHop)
            finishHop();
    }
}

void ClapOnsetPicker::finishHop()
{
    m_fill = 0;
    double energy = 0.0;
    double peak = 0.0;
    for (double v : m_hop) {
        energy += v * v;
        peak = std::max(peak, std::fabs(v));
    }
    const double db = std::max(kSilenceDb, 10.0 * std::log10(energy / kHop + 1e-20));
    // before the hop before this one: an attack may take two hops to rise (the burst of a "t")
    const double envelope = m_envelopeBeforeDb;

    if (!m_armed) {
        m_loudestSinceAttackDb = std::max(m_loudestSinceAttackDb, db);
        const double since = m_hopTime - m_lastAttack;
        if ((envelope <= m_loudestSinceAttackDb - kRearmDropDb && since >= kRefractorySeconds) || since >= kRearmSeconds)
            m_armed = true;
    }
    // the first hops only learn the room
    const bool attack = m_armed && m_hopsSeen >= 3 && db >= kFloorDb && db - envelope >= kRiseDb
                        && db - m_roomDb >= kAboveRoomDb;
    if (attack) {
        // the attack begins where the sound first comes near this hop's peak
        double at = m_hopTime;
        bool found = false;
        for (int k = 0; k < kHop && !found; ++k) {
            if (std::fabs(m_previousHop[size_t(k)]) >= peak / 3.0) {
                at = m_hopTime - double(kHop - k) / kRate;
                found = true;
            }
        }
        for (int k = 0; k < kHop && !found; ++k) {
            if (std::fabs(m_hop[size_t(k)]) >= peak / 3.0) {
                at = m_hopTime + double(k) / kRate;
                found = true;
            }
        }
        m_lastAttack = at;
        m_loudestSinceAttackDb = db;
        m_armed = false;
        if (m_listener)
            m_listener(at);
    }

    m_roomDb += (db < m_roomDb ? kRoomFall : kRoomRise) * (db - m_roomDb);
    if (m_hopsSeen < 3)
        m_roomDb = std::max(m_roomDb, db);  // starts from the first hops, not from silence
    m_envelopeBeforeDb = m_envelopeDb;
    m_envelopeDb = std::max(db, m_envelopeDb - kEnvelopeFallDb);
    ++m_hopsSeen;
    m_previousHop = m_hop;
}
