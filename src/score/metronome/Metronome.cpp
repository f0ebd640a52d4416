#include "score/metronome/Metronome.h"

#include "audio/AudioBuffer.h"
#include "audio/AudioSequencer.h"
#include "debug/Debugging.h"
#include "score/metronome/MetronomeSamples.h"

static const char* const kChannel = "score";

bool Metronome::m_initialized = false;

namespace {

enum { Tick = 0, Tock = 1, VoiceOne = 2, SoundCount = 8 };

// Byte sizes of the counting voice's arrays.
const int voice_data_size[Metronome::voice_data_count] = {
    int(sizeof(voice_one_data)),   int(sizeof(voice_two_data)),  int(sizeof(voice_three_data)),
    int(sizeof(voice_four_data)),  int(sizeof(voice_five_data)), int(sizeof(voice_six_data))};
const qint16* const voice_data[Metronome::voice_data_count] = {voice_one_data,  voice_two_data,  voice_three_data,
                                                               voice_four_data, voice_five_data, voice_six_data};

AudioBuffer* bank()
{
    // lives until exit: sequencers borrow these buffers
    static AudioBuffer sounds[SoundCount] = {
        AudioBuffer(2, 0, 44100), AudioBuffer(2, 0, 44100), AudioBuffer(2, 0, 44100), AudioBuffer(2, 0, 44100),
        AudioBuffer(2, 0, 44100), AudioBuffer(2, 0, 44100), AudioBuffer(2, 0, 44100), AudioBuffer(2, 0, 44100)};
    return sounds;
}

} // namespace

Metronome::Metronome()
{
    if (!m_initialized)
        initialize();
}

Metronome::~Metronome() = default;

void Metronome::initialize()
{
    AudioBuffer* b = bank();
    b[Tick].addSamples(tick_data, int(sizeof(tick_data) / 2), 0.1, 0.4);
    b[Tock].addSamples(tock_data, int(sizeof(tock_data) / 2), 0.1, 0.4);
    for (int i = 0; i < voice_data_count; ++i)
        b[VoiceOne + i].addSamples(voice_data[i], voice_data_size[i] / 2, 0.5, 0.3);
    m_initialized = true;
}

const AudioBuffer* Metronome::soundBuffer(int index)
{
    if (index < 0 || index >= SoundCount)
        return nullptr;
    return &bank()[index];
}

const AudioBuffer* Metronome::beatBuffer(int beatNum)
{
    switch (m_mode) {
    case ModeNone:
        return nullptr;
    case ModeMonotone:
        return soundBuffer(Tock);
    case ModeAccented:
        return soundBuffer(beatNum == 0 ? Tick : Tock);
    case ModeTalking:
        if ((unsigned)beatNum < voice_data_count)
            return soundBuffer(VoiceOne + beatNum);
        // measures of seven or more beats are valid music: the voice just has no word for them
        if (!m_warnedBeyondVoice) {
            LOG_WARN(kChannel, "talking metronome counts only %d beats; beat %d and later are silent",
                     voice_data_count, beatNum + 1);
            m_warnedBeyondVoice = true;
        }
        return nullptr;
    }
    BRISOLA_ASSERT(0);
    return nullptr;
}

void Metronome::sequenceBeat(AudioSequencer& sequencer, int beatNum, double time)
{
    const AudioBuffer* buffer = beatBuffer(beatNum);
    if (!buffer)
        return;
    // the bank keeps its buffers; the sequencer only reads them
    sequencer.addOutput(const_cast<AudioBuffer*>(buffer), time, true, false);
}

void Metronome::sequence(AudioSequencer& sequencer, double start)
{
    BRISOLA_ASSERT(m_beatCount > 0);
    BRISOLA_ASSERT(m_tempo > 0);
    BRISOLA_ASSERT(m_beatsPerBar > 0);
    if (m_mode == ModeNone || m_beatCount < 1 || m_tempo < 1)
        return;
    const double period = 60.0 / m_tempo;
    for (int i = 0; i < m_beatCount; ++i) {
        const double time = start + i * period;
        sequenceBeat(sequencer, i, time);
        sequencer.addSilence(period, time, true);
    }
}
