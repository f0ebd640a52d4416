#pragma once

#include "pitch/Pitch.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>

#include <atomic>
#include <functional>

class Evaluator;
class NoteInputSource;

// One kind of answer (clapping, singing, playing): timed notes from its active source, passed to
// the exercise's evaluator while the input is started. Started, stopped and configured on the main
// thread; handleInput also runs on the pitch detector's worker for microphone notes.
class NoteInput : public QObject {
    Q_OBJECT
public:
    // Seconds since the learner's capture began (before the start offset is taken off).
    using Clock = std::function<double()>;

    explicit NoteInput(QObject* parent = nullptr);
    ~NoteInput() override;

    void registerSource(NoteInputSource* src);
    void unregisterSource(NoteInputSource* src);
    void setActiveSource(NoteInputSource* src);
    NoteInputSource* activeSource() const { return mp_activeSource.load(std::memory_order_acquire); }
    const QSet<NoteInputSource*>& sources() const { return m_sourceList; }

    void setEvaluator(Evaluator* evaluator) { mp_evaluator = evaluator; }
    Evaluator* evaluator() const { return mp_evaluator; }
    // The clock of inputs that carry no time (key presses); by default the time since start().
    // Kept until the input stops.
    void setInputClock(const Clock& clock) { m_clock = clock; }

    // Starts every registered source, then takes inputs; startOffset is taken off every input time.
    void start(double startOffset);
    // Stops the sources; nothing is emitted. Returns once no other thread still hands in an input.
    Q_INVOKABLE void stop();
    // Forgets the started flag only; the sources keep running until the next start or stop.
    void reset();
    bool isStarted() const { return m_isStarted.load(std::memory_order_acquire); }
    double startOffset() const { return m_startOffset; }
    // Inputs are moments, not notes: a microphone source passes on the attacks it hears (claps,
    // taps, a spoken "ta") instead of the notes. Set once, before the input is first started.
    void setTakesAttacks(bool takesAttacks) { m_takesAttacks = takesAttacks; }
    bool takesAttacks() const { return m_takesAttacks; }
    // Timed inputs (notes, claps, key presses) passed to the evaluator since the last start.
    int inputCount() const { return m_inputCount.load(std::memory_order_acquire); }

    // From the sources: a note (NONE for a pure timing input) at offset seconds since the capture
    // began, or offset < 0 to time it by the input's clock.
    void handleInput(NoteInputSource* source, Pitch::Note note, int octave, double offset);

signals:
    void inputFinished();

private:
    void stopSources();

    Evaluator* mp_evaluator = nullptr;
    std::atomic<bool> m_isStarted{false};
    std::atomic<int> m_inputCount{0};
    bool m_takesAttacks = false;
    double m_startOffset = 0.0;
    QElapsedTimer m_time;
    Clock m_clock;
    QSet<NoteInputSource*> m_sourceList;
    std::atomic<NoteInputSource*> mp_activeSource{nullptr};
    // Main thread: the sources were started by this input and not yet stopped.
    bool m_sourcesRunning = false;
};
