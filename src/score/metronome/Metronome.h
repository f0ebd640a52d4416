#pragma once

#include <QObject>

class AudioBuffer;
class AudioSequencer;

// Beat sounds laid under or before a score: a click, an accented click on beat 0, or a voice
// counting the beats. The sounds are compiled in and shared by every metronome.
class Metronome : public QObject {
    Q_OBJECT
public:
    // A fixed underlying type: a value from QML outside the list is a defined value, refused where used.
    enum Mode : int { ModeNone = 0, ModeMonotone = 1, ModeAccented = 2, ModeTalking = 3 };
    Q_ENUM(Mode)

    // How many beats the counting voice can speak.
    static const int voice_data_count = 6;

    Metronome();
    ~Metronome() override;

    Mode mode() const { return m_mode; }
    void setMode(Mode mode) { m_mode = mode; }

    // Loads the shared sounds once per process.
    static void initialize();
    static bool isInitialized() { return m_initialized; }

    // The sound of beat beatNum (within its measure) at time seconds, borrowed by the sequencer.
    void sequenceBeat(AudioSequencer& sequencer, int beatNum, double time);
    // m_beatCount beats at m_tempo from start, each followed by silence up to the next.
    void sequence(AudioSequencer& sequencer, double start);

    // The shared sounds, for inspection: 0 tick, 1 tock, 2..7 the voice counting one to six.
    static const AudioBuffer* soundBuffer(int index);

private:
    const AudioBuffer* beatBuffer(int beatNum);

    int m_tempo = 0;
    int m_beatCount = 0;
    int m_beatsPerBar = 0;
    Mode m_mode = ModeMonotone;
    bool m_warnedBeyondVoice = false;

    static bool m_initialized;
};
