#include "exercise/NoteInputManager.h"

#include "debug/Debugging.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "pitch/StandardPitchAssembly.h"

static const char* const kChannel = "zq-notein";

NoteInputManager::NoteInputManager() : QObject(nullptr) {}

NoteInputManager* NoteInputManager::getInstance()
{
    static NoteInputManager* const instance = new NoteInputManager();
    return instance;
}

bool NoteInputManager::initialize()
{
    LOG_ENTRY(kChannel);
    if (m_initialized)
        return true;  // a second detector and second inputs would orphan what settings hold
    m_initialized = true;
    initMicInputSource();
    initKeyboardInputSource();
    initMidiInputSource();
    initClappingInput();
    initPlayingInput();
    initSingingInput();
    m_sources.insert(SOURCE_MIC, mp_micSource);
    m_sources.insert(SOURCE_KEYBOARD, mp_keyboardSource);
    m_sources.insert(SOURCE_MIDI, mp_midiSource);
    return true;
}

void NoteInputManager::shutdown()
{
    if (!mp_pitchAssembly)
        return;
    LOG_DEBUG(kChannel, "stopping the pitch detector");
    if (mp_micSource) {
        mp_micSource->stop();
        mp_micSource->mp_detector = nullptr;
    }
    delete mp_pitchAssembly;  // the detector goes first and joins its worker
    mp_pitchAssembly = nullptr;
}

void NoteInputManager::initMicInputSource()
{
    mp_pitchAssembly = new StandardPitchAssembly();
    mp_micSource = new MicNoteInputSource(QStringLiteral("mic"), mp_pitchAssembly->detector(), this);
}

void NoteInputManager::initKeyboardInputSource()
{
    mp_keyboardSource = new KeyboardNoteInputSource(this);
}

void NoteInputManager::initMidiInputSource()
{
    mp_midiSource = nullptr;
}

void NoteInputManager::initClappingInput()
{
    mp_clappingInput = createNoteInput(SOURCE_MIC | SOURCE_KEYBOARD);
    // rhythm only: a clap into the microphone is graded like a key press
    mp_clappingInput->setTakesAttacks(true);
}

void NoteInputManager::initPlayingInput()
{
    mp_playingInput = createNoteInput(SOURCE_MIC);
}

void NoteInputManager::initSingingInput()
{
    mp_singingInput = createNoteInput(SOURCE_MIC);
}

NoteInput* NoteInputManager::createNoteInput(int sourceTypes)
{
    auto* input = new NoteInput(this);
    if ((sourceTypes & SOURCE_MIC) && mp_micSource)
        input->registerSource(mp_micSource);
    if ((sourceTypes & SOURCE_KEYBOARD) && mp_keyboardSource)
        input->registerSource(mp_keyboardSource);
    return input;
}

NoteInputSource* NoteInputManager::getSourceByType(SourceType type) const
{
    return m_sources.value(type, nullptr);
}

NoteInputManager::SourceType NoteInputManager::getTypeBySource(NoteInputSource* source) const
{
    if (!source)
        return SourceType(0);  // the empty MIDI slot is no source
    for (auto it = m_sources.cbegin(); it != m_sources.cend(); ++it) {
        if (it.value() == source)
            return it.key();
    }
    return SourceType(0);
}

NoteInput* NoteInputManager::getInputByName(const QString& name) const
{
    const QString key = name.toLower();
    if (key == QLatin1String("clapping"))
        return mp_clappingInput;
    if (key == QLatin1String("singing"))
        return mp_singingInput;
    if (key == QLatin1String("playing"))
        return mp_playingInput;
    LOG_WARN(kChannel, "unknown note input \"%s\"", qPrintable(name));
    BRISOLA_ASSERT(0);
    return nullptr;
}
