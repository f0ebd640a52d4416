#pragma once

#include "audio/AudioSequencer.h"
#include "exercise/Evaluator.h"
#include "exercise/Question.h"
#include "exercise/RoleItemModel.h"

#include <QStateMachine>
#include <QVariantMap>

class ImitationQuestionSettings;
class MicNoteInputSource;
class NoteInput;
class QKeyEvent;
class Score;

// Runs one imitation exercise: lays the question, a pause, the capture pass and the learner's
// input window out as one timeline on its own sequencer, follows its markers, feeds the answer to
// the evaluator through a note input of the note input manager, and reports one outcome row per
// expected note and a mark. Main thread only.
class ImitationQuestionEngine : public QObject, public Question {
    Q_OBJECT
    Q_PROPERTY(QVariantMap settings READ settingsMap WRITE setSettingsMap NOTIFY settingsMapChanged)
    Q_PROPERTY(Score* questionScore READ questionScore WRITE setQuestionScore NOTIFY questionScoreChanged)
    Q_PROPERTY(Score* answerScore READ answerScore WRITE setAnswerScore NOTIFY answerScoreChanged)
    Q_PROPERTY(Score* inputScore READ inputScore WRITE setInputScore NOTIFY inputScoreChanged)
    Q_PROPERTY(RoleItemModel* outcomeModel READ outcomeModel NOTIFY outcomeModelChanged)
    Q_PROPERTY(RoleItemModel* gradeModel READ gradeModel CONSTANT)

public:
    // The outcome model has the single role "outcome", the grade a row is shown with. The grade
    // model has the same rows with the reasons besides, for the screens: whether the note was never
    // answered, its rhythm and pitch grades and how far off its time it came.
    enum { OutcomeRole = Qt::UserRole + 1, SkippedRole, RhythmRole, PitchRole, TimingRole };
    // Marker ids of the timeline; ids below MarkerPlaybackBegin are count-in beats.
    enum Marker {
        MarkerPlaybackBegin = 1000,
        MarkerPlaybackEnd = 1001,
        MarkerPreCapture = 1002,
        MarkerCaptureBegin = 1003,
        MarkerUserInputBegin = 1004,
        MarkerUserInputEnd = 1005,
        MarkerCaptureEnd = 1006
    };
    // Seconds from the capture begin to the learner's input (the detector's and the input's offset).
    static constexpr double kCaptureLead = 2.0;

    explicit ImitationQuestionEngine(QObject* parent = nullptr);
    ~ImitationQuestionEngine() override;

    QVariantMap settingsMap() const { return m_settingsMap; }
    void setSettingsMap(const QVariantMap& map);
    Score* questionScore() const { return mp_questionScore; }
    void setQuestionScore(Score* score) { mp_questionScore = score; }
    Score* answerScore() const { return mp_answerScore; }
    void setAnswerScore(Score* score) { mp_answerScore = score; }
    Score* inputScore() const { return mp_inputScore; }
    void setInputScore(Score* score) { mp_inputScore = score; }
    RoleItemModel* outcomeModel() const { return mp_outcomeModel; }
    RoleItemModel* gradeModel() const { return mp_gradeModel; }
    // The learner's inputs of the last attempt that came too early to be graded: key presses before
    // the capture began and inputs before the first note's reach (claps or taps in the count-in).
    Q_INVOKABLE int earlyInputCount() const;
    // The learner's inputs of the last attempt that took no note: more than the notes (a second one
    // for a note, one in a rest, one after the last note). Counted, not graded.
    Q_INVOKABLE int extraInputCount() const;

    Q_INVOKABLE void handleKeyPress();
    Q_INVOKABLE int start(bool retry = false) override;
    Q_INVOKABLE int abort() override;
    Q_INVOKABLE void reset() override;
    QWidget* getWidget(Question::WidgetType type) override;
    void showFeedback() override;

    bool event(QEvent* e) override;

    // Read by tests and tools: the timeline, the grading, the chosen input and settings.
    const AudioSequencer& sequencer() const { return m_sequencer; }
    Evaluator* evaluator() const { return mp_evaluator; }
    NoteInput* noteInput() const { return mp_noteInput; }
    MicNoteInputSource* micSource() const { return mp_micSource; }
    const ImitationQuestionSettings* settingsObject() const { return mp_settings; }
    bool isInitialized() const { return m_initialized; }

signals:
    void settingsMapChanged();
    void questionScoreChanged();
    void answerScoreChanged();
    void inputScoreChanged();
    void outcomeModelChanged();
    void started();
    void playbackBegin();
    void playbackEnd();
    void preCapture();
    void captureBegin();
    void userInputBegin();
    void userInputEnd();
    void finished(double score);
    void countInBeat(int index);
    void startRequested();
    void captureEnd();
    // The attempt could not go on (the sound could not start or stopped before the capture end):
    // nothing was graded or recorded, and a later start tries again. reason as the log says it.
    void failed(const QString& reason);

protected:
    void keyPressEvent(QKeyEvent*) {}

private slots:
    void enter_waitForStartState();
    void enter_startState();
    void enter_evaluateState();
    void inputEvaluated(int idx, Evaluator::EvaluationEntry entry);

private:
    bool init();
    void buildStateMachine();
    void prepPitchDetection(double startOffset);
    void newMarker(int id);
    // Count-in markers 1..N from t at the question's tempo; returns the time after the last beat.
    double addCountInMarkers(double t);
    void resetSequencer();
    // The sequencer's playback of attempt `run` ended or failed; fails the attempt if it still runs.
    void playbackEnded(int run);
    bool ownsNoteInput() const;
    void writeDebugDump();

    bool m_initialized = false;
    QVariantMap m_settingsMap;
    Score* mp_questionScore = nullptr;
    Score* mp_answerScore = nullptr;
    Score* mp_inputScore = nullptr;
    RoleItemModel* mp_outcomeModel;
    RoleItemModel* mp_gradeModel;
    ImitationQuestionSettings* mp_settings = nullptr;
    QStateMachine m_stateMachine;
    AudioSequencer m_sequencer;
    Evaluator* mp_evaluator = nullptr;
    NoteInput* mp_noteInput = nullptr;
    MicNoteInputSource* mp_micSource = nullptr;
    // Timeline position of marker 1003, from which key presses are timed.
    double m_captureBeginPosition = 0.0;
    // The attempt whose playback runs now (0: none), so that an end of the sequencer's own or of
    // the host is told apart from a stop the engine made.
    int m_activeRun = 0;
    int m_runCount = 0;
    // Key presses of the running attempt before its capture began (marker 1003).
    bool m_captureBegun = false;
    int m_earlyKeyPresses = 0;
    // The running attempt reached its capture-end marker: its whole input is to be heard.
    bool m_captureEnded = false;
};
