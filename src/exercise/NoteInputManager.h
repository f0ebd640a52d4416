#pragma once

#include <QMap>
#include <QObject>
#include <QString>


class KeyboardNoteInputSource;
class MicNoteInputSource;
class NoteInput;
class NoteInputSource;
class StandardPitchAssembly;

// The process's note sources (microphone with the one pitch detector, keyboard) and its three
// note inputs (clapping, playing, singing). Created on first use, set up once by initialize(),
// never deleted. The settings and the calibration read and write the members directly.
class NoteInputManager : public QObject {
    Q_OBJECT
public:
    enum SourceType { SOURCE_MIC = 2, SOURCE_KEYBOARD = 4, SOURCE_MIDI = 16 };

    static NoteInputManager* getInstance();

    // Creates the sources and the inputs; true (also when already done).
    bool initialize();
    // Ends the pitch detector's worker thread before the process ends (the manager is never
    // deleted, so the thread would otherwise outlive the statics it logs through). The microphone
    // source stays, without a detector. Safe to call more than once.
    void shutdown();
    void initMicInputSource();
    void initKeyboardInputSource();
    void initMidiInputSource();
    void initClappingInput();
    void initPlayingInput();
    void initSingingInput();

    // A new input with the microphone (bit 2) and then the keyboard (bit 4) registered.
    NoteInput* createNoteInput(int sourceTypes);
    NoteInputSource* getSourceByType(SourceType type) const;
    SourceType getTypeBySource(NoteInputSource* source) const;
    // "clapping", "singing" or "playing", in any case; anything else asserts and gives null.
    NoteInput* getInputByName(const QString& name) const;

    MicNoteInputSource* mp_micSource = nullptr;
    KeyboardNoteInputSource* mp_keyboardSource = nullptr;
    NoteInputSource* mp_midiSource = nullptr;
    QMap<SourceType, NoteInputSource*> m_sources;
    NoteInput* mp_clappingInput = nullptr;
    NoteInput* mp_playingInput = nullptr;
    NoteInput* mp_singingInput = nullptr;

private:
    NoteInputManager();

    // Owns the detector with its strategies and heuristic chain.
    StandardPitchAssembly* mp_pitchAssembly = nullptr;
    bool m_initialized = false;
};
