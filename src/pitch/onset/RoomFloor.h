#pragma once

// The room's noise floor: the quietest level heard, rising 3 dB a second so that a room grown louder
// is heard again, and held while a steady pitch sounds (a long legato phrase would otherwise lift it
// to the voice's own level and hide the phrase's steps and quiet ends). Both the pitch and the onset
// strategies read the room through one.
class RoomFloor {
public:
    explicit RoomFloor(int samplingRate);

    // The level (RMS) of the newest count samples; steady: a steady pitch sounds in them.
    void hear(double level, int count, bool steady);
    // -1 before the first level.
    double level() const { return m_floor; }
    void reset() { m_floor = -1.0; }

private:
    double m_samplingRate;
    double m_floor = -1.0;
};
