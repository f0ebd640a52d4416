#pragma once

#include "pitch/Pitch.h"
#include "score/ScoreNoteInfo.h"

#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class Score;

// Grades a learner's answer against the notes of the answer score: every input (a key press or a
// detected note) is matched to one expected note and graded for rhythm and/or pitch. Rests and
// tied continuations are never matched; they only hold their place in the index. Keeps a copy of
// the score's GMN with every pitch-graded note coloured, and turns the grades into a mark.
// evaluate() runs on the input's thread (the pitch detector's worker for the microphone); the
// coloured GMN may be read from any thread meanwhile.
class Evaluator : public QObject {
    Q_OBJECT

public:
    enum accuracy_e {
        NONE = 0,
        PERFECT,
        EARLY,
        LATE,
        VERY_EARLY,
        VERY_LATE,
        LOW,
        HIGH,
        VERY_LOW,
        VERY_HIGH,
        WRONG,
        NEUTRAL,
        PLACEHOLDER
    };
    Q_ENUM(accuracy_e)

    enum Mode { RhythmMode = 0, PitchMode = 1, RhythmAndPitchMode = 2 };

    // The grade of one expected note.
    struct EvaluationEntry {
        accuracy_e rhythm = NONE;
        accuracy_e pitch = NONE;
        bool evaluated = false;
        bool skipped = false;  // graded WRONG because the note was never played
        // The coloured answer as this grade left it, for a receiver on another thread.
        QString colouredGmn;
        // Seconds from the written start to the answer (negative: early); 0 when not timed.
        double timing = 0.0;

        QString toString() const;
    };

    explicit Evaluator(Score& score);
    ~Evaluator() override;

    // Reads the notes and the GMN of a score afresh (the same or another one) and resets the grades.
    // Main thread, while no input is graded.
    void setScore(Score& score);
    // Forgets the grades; the coloured GMN keeps its colours until the notes are graded again.
    void reset();

    int mode() const { return m_mode; }
    void setMode(int mode) { m_mode = mode; }
    void setRhythmThresholds(double perfect, double slight, double severe);
    void setPitchThresholds(int perfect, int slight, int severe);
    double rhythmPerfect() const { return m_rhythmPerfect; }
    double rhythmSlight() const { return m_rhythmSlight; }
    double rhythmSevere() const { return m_rhythmSevere; }

    // Grades one input; offset in seconds from the beginning of the learner's input, octave in the
    // detector's numbering. True when the evaluation is complete.
    bool evaluate(Pitch::Note note, int octave, double offset);
    // Inputs since the last reset that came before the first sounding note's reach and were not
    // graded (rhythm grading only; a sung note takes the next note whenever it comes).
    int earlyInputCount() const { return m_earlyInputs.load(std::memory_order_acquire); }
    // Inputs since the last reset that came later and took no note: nearest to a note already
    // graded (a second tap for one note, a tap in a rest) or after the last one (rhythm grading only).
    int extraInputCount() const { return m_extraInputs.load(std::memory_order_acquire); }
    // Grades the notes from..to-1 never graded: sounding notes WRONG and skipped, rests silently.
    void processUnevaluated(int from, int to);
    void finalize();
    // The mark, 0 to 1 (0 when the score has no sounding note).
    double getOutcome() const;
    static double accuracyToMark(accuracy_e accuracy);
    static QString accuracyName(accuracy_e accuracy);

    // The answer's GMN with the graded notes coloured; always valid GMN.
    QString getGmnBasedOnInput() const;

    const QList<ScoreNoteInfo>& noteInfoList() const { return m_noteInfoList; }
    QList<EvaluationEntry> evaluationList() const;
    int lastIndex() const { return m_lastIndex; }

signals:
    void inputEvaluated(int index, Evaluator::EvaluationEntry entry);

private:
    // Where a written note lies in the token list: its token and the characters before it there.
    struct NoteLocation {
        int token = -1;
        int lead = 0;
        int octave = 0;  // the written GMN octave, explicit or inherited
        int tieRange = 0;       // notes of one tie share a number from 1
        bool tieStart = false;
        enum Colour { Plain, Right, Wrong } colour = Plain;
        QString playedHead;  // name and GMN octave of the note played, shown when wrong
    };

    void readScore(Score& score);
    int indexByOffset(double offset) const;
    accuracy_e getRhythmAccuracy(int index, Pitch::Note note, double offset) const;
    accuracy_e getPitchAccuracy(int index, Pitch::Note note, int octave, double offset);
    void updateGmnNote(int idx, Pitch::Note note, int octave, bool correct);
    // The shown token from its source and the colours of the notes in it (lock held).
    void rebuildToken(int token);
    void emitGrade(int index);
    bool isSounding(int index) const { return m_noteInfoList.at(index).note != Pitch::NONE; }
    int nextSounding(int after) const;

    int m_mode = RhythmAndPitchMode;
    Score* mp_score;
    QList<ScoreNoteInfo> m_noteInfoList;
    QList<EvaluationEntry> m_evaluationList;
    double m_rhythmPerfect = 0.075;
    double m_rhythmSlight = 0.15;
    double m_rhythmSevere = 0.25;
    int m_pitchPerfect = 0;
    int m_pitchSlight = 2;
    int m_pitchSevere = 4;
    int m_lastIndex = -1;
    int m_firstSounding = -1;
    int m_lastSounding = -1;
    // Written on the grading thread, read on the main thread once grading is over.
    std::atomic<int> m_earlyInputs{0};
    std::atomic<int> m_extraInputs{0};

    // Guards the token lists: written on the grading thread, read on the main thread.
    mutable QMutex m_gmnMutex;
    QStringList m_gmnTokens;         // the coloured GMN, split at single blanks
    QStringList m_gmnSourceTokens;   // the same tokens before colouring; each colour starts from these
    QList<int> m_gmnNoteIndices;     // per expected note, its index among m_noteLocations; -1: not coloured
    QList<NoteLocation> m_noteLocations;  // every written note of the first voice, in order
    // The clef the written notes are drawn with when the code names none; a wrong note shown in
    // their place must not move the answer to another clef.
    QString m_writtenClef;
};

Q_DECLARE_METATYPE(Evaluator::EvaluationEntry)
