#pragma once

#include <array>
#include <functional>

// Finds the attacks of claps, taps, clicks and spoken syllables in microphone samples, for a
// rhythm answered into the microphone. The detector's own onsets follow pitched notes and miss
// most claps; this picker only asks for a sudden rise of sound above the room.
//
// The samples are high-passed (500 Hz, so room rumble and a voice's low partials count little) and
// measured in hops of 128 samples (2.9 ms). An attack is a hop whose energy
//   - rises at least kRiseDb above the envelope as it was two hops before (the hop energies held
//     at their peaks and falling kEnvelopeFallDb a hop), so a slow attack split over two hops
//     counts but the glottal pulses of a vowel or a noise's ripple do not,
//   - lies at least kAboveRoomDb above the room's level, a slow follower of the hop energies
//     that falls quickly and rises slowly, so one clap does not lift it much,
//   - and reaches kFloorDb, so faint sounds (the question's own playback leaking in from the
//     speakers, a neighbour) make none;
// and a new attack needs kRefractorySeconds since the last and the envelope to have fallen
// kRearmDropDb below the loudest hop since that attack (a spoken "ta" is one attack, not two), or
// else kRearmSeconds since the last (a sound still ringing; the envelope keeps its ripple out).
// Its time is the first sample of that hop or the one before that reaches a third of the hop's peak.
// Digital silence in a room within kAboveRoomDb of the floor is a drop-out, not the room, and is
// skipped; in a quieter room it is silence.
//
// One thread at a time (the detector's worker); allocates nothing after construction.
class ClapOnsetPicker {
public:
    static constexpr int kHop = 128;
    static constexpr double kRate = 44100.0;
    static constexpr double kRiseDb = 8.0;
    static constexpr double kEnvelopeFallDb = 2.0;
    static constexpr double kAboveRoomDb = 7.0;
    static constexpr double kFloorDb = -46.0;
    static constexpr double kRefractorySeconds = 0.06;
    static constexpr double kRearmDropDb = 9.0;
    static constexpr double kRearmSeconds = 0.15;

    // Called with each attack's time in seconds on the clock of the samples given.
    using Listener = std::function<void(double time)>;

    explicit ClapOnsetPicker(Listener listener = nullptr);

    void setListener(Listener listener) { m_listener = std::move(listener); }
    // Forgets the room and the last attack; the next sample is at time 0.
    void reset();
    // `count` samples (full scale 1.0); `time` is the first one's, in seconds. Samples are taken as
    // consecutive whatever `time` says; it only dates them.
    void process(const double* samples, int count, double time);

private:
    void finishHop();

    Listener m_listener;
    // high-pass state
    double m_lastIn = 0.0;
    double m_lastOut = 0.0;
    // the hop being filled and the one before it (filtered)
    std::array<double, kHop> m_hop{};
    std::array<double, kHop> m_previousHop{};
    int m_fill = 0;
    double m_hopTime = 0.0;  // time of the hop's first sample
    double m_envelopeDb = 0.0;
    double m_envelopeBeforeDb = 0.0;  // as it was one hop ago
    int m_hopsSeen = 0;
    double m_roomDb = 0.0;
    double m_lastAttack = -1e9;
    double m_loudestSinceAttackDb = -200.0;
    bool m_armed = true;
    bool m_skipping = false;
};
