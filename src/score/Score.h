#pragma once

#include "audio/AudioSequencer.h"
#include "notation/GmnEvent.h"
#include "score/Music.h"
#include "score/QGuidoQuickPaintedItem.h"
#include "score/ScoreMeasureInfo.h"
#include "score/ScoreNoteInfo.h"
#include "score/metronome/Metronome.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QSizeF>
#include <QStringList>
#include <QVariantList>

class AudioBuffer;
class ScoreMarkerListener;

// A GMN question as the learner sees and hears it: the painted score, its notes with times,
// measures, beats and syllables, the rectangles of its notes, and its playback with count-in,
// metronome and spoken syllables.
class Score : public QGuidoQuickPaintedItem {
    Q_OBJECT
    Q_PROPERTY(QString gmnCode READ gmnCode WRITE setGMNCode NOTIFY gmnCodeChanged)
    Q_PROPERTY(int tempo READ tempo WRITE setTempo NOTIFY tempoChanged)
    Q_PROPERTY(float duration READ durationFloat NOTIFY durationChanged)
    Q_PROPERTY(int noteCount READ noteCount NOTIFY noteCountChanged)
    Q_PROPERTY(int beatsPerMeasure READ beatsPerMeasure NOTIFY beatsPerMeasureChanged)
    Q_PROPERTY(bool compact READ compact WRITE setCompact NOTIFY compactChanged)
    Q_PROPERTY(double scalingFactor READ scalingFactor WRITE setScalingFactor NOTIFY scalingFactorChanged)
    Q_PROPERTY(QVariantList noteBoundingRects READ noteBoundingRects NOTIFY noteBoundingRectsChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(bool playbackEnabled READ playbackEnabled NOTIFY playbackEnabledChanged)
    Q_PROPERTY(bool playbackPercussive READ playbackPercussive NOTIFY playbackPercussiveChanged)
    Q_PROPERTY(bool playbackRhythmSyllables READ playbackRhythmSyllables WRITE setPlaybackRhythmSyllables
                   NOTIFY playbackRhythmSyllablesChanged)
    Q_PROPERTY(bool playbackSolfegeSyllables READ playbackSolfegeSyllables WRITE setPlaybackSolfegeSyllables
                   NOTIFY playbackSolfegeSyllablesChanged)
    Q_PROPERTY(Metronome::Mode metronomeMode READ metronomeMode WRITE setMetronomeMode NOTIFY metronomeChanged)
    Q_PROPERTY(bool metronomeCountIn READ metronomeCountIn WRITE setMetronomeCountIn NOTIFY metronomeChanged)
    Q_PROPERTY(bool metronomeScore READ metronomeScore WRITE setMetronomeScore NOTIFY metronomeChanged)
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
    Q_PROPERTY(int currentNoteIndex READ currentNoteIndex NOTIFY currentNoteIndexChanged)
    Q_PROPERTY(bool autoRemoveMidi READ autoRemoveMidi WRITE setAutoRemoveMidi NOTIFY autoRemoveMidiChanged)

public:
    using NoteInfo = ScoreNoteInfo;
    using MeasureInfo = ScoreMeasureInfo;
    using BeatInfo = ScoreBeatInfo;

    explicit Score(QQuickItem* parent = nullptr);
    ~Score() override;

    // One-time set-up of the score layer: the notation font (when asked), the notation engine and
    // the syllable sounds from <assetsDir>/sounds. An empty folder means the source tree's assets.
    static void initialize(const QString& assetsDir = QString(), bool loadFont = false);
    static bool isInitialized() { return m_initialized; }
    // Frees the syllable banks (also run at exit, so leak checks stay clean); a later initialize
    // loads them again.
    static void cleanup();
    static const QMap<QString, AudioBuffer*>& rhythmSyllables() { return m_rhythmSyllables; }
    static const QMap<QString, AudioBuffer*>& solfegeSyllables() { return m_solfegeSyllables; }

    // Rewrites the code's own forms, lays it out and analyses it; false when the engine refuses it.
    bool setGMNCode(const QString& code) override;

    unsigned long instanceNumber() const { return m_instance; }
    int key() const { return m_key; }
    Music::ScaleType scaleType() const { return Music::ScaleType(m_scale); }
    int tempo() const { return m_tempo; }
    double duration() const { return m_duration; }
    float durationFloat() const { return float(m_duration); }
    int noteCount() const { return m_noteList.size(); }
    int beatsPerMeasure() const;
    const QList<NoteInfo>& noteList() const { return m_noteList; }
    const QList<MeasureInfo>& measureInfoList() const { return m_measuresList; }
    const QStringList& countingSyllableList() const { return m_countingSyllables; }
    const QStringList& solfegeSyllableList() const { return m_solfegeSyllableList; }
    bool compact() const { return m_compact; }
    double scalingFactor() const { return m_scalingFactor; }
    QSizeF basePageSize() const { return m_basePageSize; }
    QVariantList noteBoundingRects() const { return m_noteBoundingRects; }
    QColor color() const;
    void setColor(const QColor& color);
    bool playbackEnabled() const { return m_playbackEnabled; }
    bool playbackPercussive() const { return m_playbackPercussive; }
    bool playbackRhythmSyllables() const { return m_playbackRhythmSyllables; }
    bool playbackSolfegeSyllables() const { return m_playbackSolfegeSyllables; }
    Metronome::Mode metronomeMode() const { return m_metronome.mode(); }
    bool metronomeCountIn() const { return m_metronomeCountIn; }
    bool metronomeScore() const { return m_metronomeScore; }
    bool playing() const { return m_playing; }
    int currentNoteIndex() const { return m_currentNoteIndex; }
    bool autoRemoveMidi() const { return m_autoRemoveMidi; }
    double playbackOffset() const { return m_playbackOffset; }
    // The score's own playback timeline (read-only, for inspection).
    const AudioSequencer& ownSequencer() const { return m_sequencer; }

    void setTempo(int bpm);
    void setScalingFactor(double factor);
    void setCompact(bool yes);
    void setMetronomeMode(Metronome::Mode mode);
    void setMetronomeCountIn(bool yes);
    void setMetronomeScore(bool yes);
    void setPlaybackEnabled(bool yes);
    void setPlaybackPercussive(bool yes);
    void setPlaybackRhythmSyllables(bool yes);
    void setPlaybackSolfegeSyllables(bool yes);
    void setAutoRemoveMidi(bool yes);
    void rescale();
    void acquireBoundingRects();

    // Seconds at the score's tempo of a date in whole notes.
    double guidoDateToAudioTime(const NotationDate& date) const;

    // Lays the score into sequencer from start (absolute seconds): count-in, metronome, the
    // rendered score, syllables and one marker per note plus an end marker.
    void sequence(AudioSequencer& sequencer, double start);
    // Moves currentNoteIndex to the note sounding at a sequencer time.
    void setCurrentNoteByTimeOffset(double time);

    Q_INVOKABLE virtual bool prepare();
    Q_INVOKABLE virtual bool play();
    Q_INVOKABLE virtual void stop();
    // Why the last play() failed or its playback ended early; empty when it ran.
    Q_INVOKABLE QString playbackError() const { return m_sequencer.lastError(); }

    Q_INVOKABLE QString noteAtIndex(int idx) const;
    Q_INVOKABLE QVariant noteBoundingRectAtIdx(int idx) const;
    Q_INVOKABLE QString countingSyllableAtIndex(int idx) const;
    Q_INVOKABLE QString solfegeSyllableAtIndex(int idx) const;

signals:
    void gmnCodeChanged();
    void tempoChanged();
    void durationChanged();
    void beatsPerMeasureChanged();
    void noteCountChanged();
    void timeSignaturesChanged();
    void compactChanged();
    void scalingFactorChanged();
    void colorChanged();
    void noteBoundingRectsChanged();
    void metronomeChanged();
    void playbackEnabledChanged();
    void playbackPercussiveChanged();
    void playbackRhythmSyllablesChanged();
    void playbackSolfegeSyllablesChanged();
    void playingChanged();
    void currentNoteIndexChanged();
    void autoRemoveMidiChanged();

protected:
    // Called once per playback when it ends, while playing is still set.
    virtual void onStopped() {}

private slots:
    void onPlaybackFinished();

private:
    bool isLaidOut() const;
    void handleCustomTags(const QString& code);
    void acquireNoteInfoList();
    void calculateDuration();
    void analyzeMeasures();
    void analyzeRhythm();
    void analyzeMelody();
    // Renders the score to a buffer through a temporary MIDI file; null on failure (logged), with why.
    AudioBuffer* renderScore(QString* why);
    void sequenceSyllables(AudioSequencer& sequencer, double t);
    void addSyllable(AudioSequencer& sequencer, const QMap<QString, AudioBuffer*>& bank, const QString& syllable,
                     double position);

    static void loadSyllables(const QString& soundsDir, const char* prefix, const char* message,
                              const QStringList& keys, QMap<QString, AudioBuffer*>& bank);

    unsigned long m_instance;
    int m_key = 0;
    int m_scale = Music::Major;
    int m_tempo = 100;
    double m_duration = 0.0;
    QList<NoteInfo> m_noteList;
    // The first voice's events the note list was filled from; the rectangles are paired with them.
    QList<GmnEvent> m_voiceEvents;
    QList<MeasureInfo> m_measuresList;
    QStringList m_countingSyllables;
    QStringList m_solfegeSyllableList;
    bool m_compact = false;
    double m_scalingFactor = 2.0;
    QSizeF m_basePageSize{-1.0, -1.0};
    QVariantList m_noteBoundingRects;
    bool m_playbackEnabled = true;
    bool m_playbackPercussive = false;
    bool m_playbackRhythmSyllables = false;
    bool m_playbackSolfegeSyllables = false;
    bool m_metronomeScore = false;
    bool m_metronomeCountIn = false;
    Metronome m_metronome;
    bool m_playing = false;
    int m_currentNoteIndex = -1;
    bool m_autoRemoveMidi = true;
    AudioSequencer m_sequencer;
    double m_playbackOffset = 0.0;
    ScoreMarkerListener* mp_markerListener;

    static bool m_initialized;
    static QMap<QString, AudioBuffer*> m_rhythmSyllables;
    static QMap<QString, AudioBuffer*> m_solfegeSyllables;
};
