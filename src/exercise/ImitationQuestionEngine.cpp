#include "exercise/ImitationQuestionEngine.h"

#include "audio/AudioInputRegion.h"
#include "audio/AudioMarkerRegion.h"
#include "audio/AudioSequencerMarkerEvent.h"
#include "debug/Debugging.h"
#include "exercise/DebugFile.h"
#include "exercise/ExerciseDebugContext.h"
#include "exercise/ImitationQuestionSettings.h"
#include "exercise/KeyboardNoteInputSource.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInput.h"
#include "exercise/NoteInputManager.h"
#include "pitch/DetectorThread.h"
#include "score/Score.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFinalState>
#include <QSignalTransition>
#include <QState>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>

static const char* const kChannel = "zq-iqe";

namespace {
const double kLeadIn = 2.0;
const double kPause = 2.0;
const double kPreCaptureLead = 1.0;
const double kPitchWindowMinimum = 10.0;
const double kRhythmTail = 0.3;
// How long grading waits for the detector's worker to analyse another block of the answer; bounded
// so a stalled worker cannot freeze the window.
const std::chrono::milliseconds kHearTheRestStall(3000);
}  // namespace

ImitationQuestionEngine::ImitationQuestionEngine(QObject* parent)
    : QObject(parent), mp_outcomeModel(new RoleItemModel({{OutcomeRole, QByteArrayLiteral("outcome")}})),
      mp_gradeModel(new RoleItemModel({{OutcomeRole, QByteArrayLiteral("outcome")},
                                       {SkippedRole, QByteArrayLiteral("skipped")},
                                       {RhythmRole, QByteArrayLiteral("rhythm")},
                                       {PitchRole, QByteArrayLiteral("pitch")},
                                       {TimingRole, QByteArrayLiteral("timing")}})),
      m_sequencer(44100, 2)
{
    LOG_ENTRY(kChannel);
    // Queued, so that the markers the sequencer posted before its end are handled first.
    connect(&m_sequencer, &AudioSequencer::finished, this, [this] {
        if (const int run = m_activeRun)
            QMetaObject::invokeMethod(this, [this, run] { playbackEnded(run); }, Qt::QueuedConnection);
    });
}

ImitationQuestionEngine::~ImitationQuestionEngine()
{
    LOG_ENTRY(kChannel);
    m_activeRun = 0;
    m_sequencer.stop(false);
    // The shared note input must not go on grading into an evaluator that is gone.
    if (ownsNoteInput()) {
        mp_noteInput->stop();
        mp_noteInput->setEvaluator(nullptr);
    }
    delete mp_evaluator;
    delete mp_settings;
    delete mp_outcomeModel;
    delete mp_gradeModel;
}

void ImitationQuestionEngine::setSettingsMap(const QVariantMap& map)
{
    LOG_ENTRY(kChannel);
    std::srand(unsigned(QDateTime::currentSecsSinceEpoch()));
    m_settingsMap = map;
    delete mp_settings;
    mp_settings = new ImitationQuestionSettings(&m_settingsMap);
    const bool success = mp_settings->load();
    BRISOLA_ASSERT(success);
    LOG_INFO(kChannel, "captureMetronome : %d", int(mp_settings->captureMetronome));
}

void ImitationQuestionEngine::handleKeyPress()
{
    LOG_ENTRY(kChannel);
    KeyboardNoteInputSource* keyboard = NoteInputManager::getInstance()->mp_keyboardSource;
    // A tap in the count-in before the capture begins reaches no input: it is only counted.
    if (keyboard && m_activeRun && !m_captureBegun && mp_noteInput && mp_noteInput->activeSource() == keyboard)
        ++m_earlyKeyPresses;
    if (keyboard)
        keyboard->keyPressEvent(nullptr);
}

int ImitationQuestionEngine::earlyInputCount() const
{
    return m_earlyKeyPresses + (mp_evaluator ? mp_evaluator->earlyInputCount() : 0);
}

int ImitationQuestionEngine::extraInputCount() const
{
    return mp_evaluator ? mp_evaluator->extraInputCount() : 0;
}

bool ImitationQuestionEngine::init()
{
    LOG_ENTRY(kChannel);
    if (m_initialized) {
        LOG_TRACE(kChannel, "already initialized");
        return true;
    }
    if (!mp_questionScore || !mp_answerScore || m_settingsMap.isEmpty() || !mp_settings) {
        LOG_ERROR(kChannel, "not enough properties set to initialize");
        return false;
    }

    int mode = Evaluator::RhythmMode;
    QString inputName;
    switch (mp_settings->captureType) {
    case ImitationQuestionSettings::CaptureRhythm:
        mode = Evaluator::RhythmMode;
        inputName = QStringLiteral("clapping");
        break;
    case ImitationQuestionSettings::CapturePitch:
        mode = Evaluator::PitchMode;
        inputName = QStringLiteral("singing");
        break;
    case ImitationQuestionSettings::CaptureRhythmAndPitch:
        mode = Evaluator::PitchMode;
        inputName = QStringLiteral("playing");
        mp_settings->playbackMetronomeCountIn = false;
        mp_settings->playbackMetronome = false;
        mp_settings->captureMetronomeCountIn = false;
        mp_settings->captureMetronome = false;
        break;
    default:
        LOG_ERROR(kChannel, "unknown capture type %d", mp_settings->captureType);
        BRISOLA_ASSERT(0);
        return false;  // no input to run it with
    }
    NoteInput* input = NoteInputManager::getInstance()->getInputByName(inputName);
    if (!input) {
        LOG_ERROR(kChannel, "the note inputs are not initialized");
        return false;
    }

    mp_evaluator = new Evaluator(*mp_answerScore);
    mp_evaluator->setMode(mode);
    if (mode == Evaluator::RhythmMode)
        mp_evaluator->setRhythmThresholds(0.075, 0.15, 0.25);
    mp_noteInput = input;
    connect(mp_evaluator, &Evaluator::inputEvaluated, this, &ImitationQuestionEngine::inputEvaluated);
    buildStateMachine();
    m_initialized = true;
    return true;
}

void ImitationQuestionEngine::buildStateMachine()
{
    auto* group = new QState(&m_stateMachine);
    auto* waitForStart = new QState(group);
    auto* startState = new QState(group);
    auto* evaluate = new QState(group);
    new QFinalState(&m_stateMachine);
    m_stateMachine.setInitialState(group);
    group->setInitialState(waitForStart);
    connect(waitForStart, &QState::entered, this, &ImitationQuestionEngine::enter_waitForStartState);
    connect(startState, &QState::entered, this, &ImitationQuestionEngine::enter_startState);
    connect(evaluate, &QState::entered, this, &ImitationQuestionEngine::enter_evaluateState);

    waitForStart->addTransition(this, &ImitationQuestionEngine::startRequested, startState);
    startState->addTransition(mp_noteInput, &NoteInput::inputFinished, evaluate);
    startState->addTransition(this, &ImitationQuestionEngine::captureEnd, evaluate);
    evaluate->addTransition(this, &ImitationQuestionEngine::finished, waitForStart);
    startState->addTransition(this, &ImitationQuestionEngine::startRequested, startState);
    evaluate->addTransition(this, &ImitationQuestionEngine::startRequested, startState);
    startState->addTransition(this, &ImitationQuestionEngine::failed, waitForStart);

    QEventLoop loop;
    connect(&m_stateMachine, &QStateMachine::started, &loop, &QEventLoop::quit);
    m_stateMachine.start();
    loop.exec();
}

int ImitationQuestionEngine::start(bool)
{
    LOG_ENTRY(kChannel);
    if (!init())
        return 0;
    NoteInputSource* nis = mp_noteInput->activeSource();
    BRISOLA_ASSERT(nis);
    if (!nis)
        return 0;
    LOG_DEBUG(kChannel, "input source is: %s", qPrintable(nis->name()));
    mp_micSource = qobject_cast<MicNoteInputSource*>(nis);
    if (!mp_micSource)
        LOG_DEBUG(kChannel, "not using microphone input");
    if (ExerciseDebugContext::debugMode() && mp_micSource)
        writeDebugDump();
    emit startRequested();
    return 0;
}

void ImitationQuestionEngine::writeDebugDump()
{
    const QString dir = DebugFile::directory();
    const QString text = QStringLiteral("Path: %1\nType: %2\nGMN: %3\n")
                             .arg(ExerciseDebugContext::currentActivityPath(),
                                  ImitationQuestionSettings::captureTypeName(mp_settings->captureType),
                                  mp_answerScore->gmnCode());
    DebugFile::writeText(dir + QStringLiteral("/zq_question_info.txt"), text.toUtf8());
    mp_micSource->setCaptureFile(dir + QStringLiteral("/zq_question_capture.wav"));
}

int ImitationQuestionEngine::abort()
{
    LOG_ENTRY(kChannel);
    m_activeRun = 0;
    m_sequencer.stop(false);
    QCoreApplication::removePostedEvents(this, AudioSequencerMarkerEvent::customType());
    // A key press after an abort must not finish a question nobody is answering.
    if (ownsNoteInput())
        mp_noteInput->stop();
    return 0;
}

void ImitationQuestionEngine::reset()
{
    LOG_ENTRY(kChannel);
    if (mp_evaluator)
        mp_evaluator->reset();
    if (mp_noteInput)
        mp_noteInput->reset();
    resetSequencer();
    m_captureBegun = false;
    m_captureEnded = false;
    m_earlyKeyPresses = 0;
    mp_outcomeModel->clear();
    mp_gradeModel->clear();
    emit mp_outcomeModel->lengthChanged();
    emit mp_gradeModel->lengthChanged();
    emit outcomeModelChanged();
}

void ImitationQuestionEngine::resetSequencer()
{
    // An answer graded before its capture ended leaves the timeline playing: stopped on purpose
    // here, not by the reset's warning.
    if (m_sequencer.isPlaying())
        m_sequencer.stop(false);
    m_sequencer.reset();
    // Markers the old timeline posted but nobody has handled yet must not drive the next one.
    QCoreApplication::removePostedEvents(this, AudioSequencerMarkerEvent::customType());
}

bool ImitationQuestionEngine::ownsNoteInput() const
{
    return mp_noteInput && mp_evaluator && mp_noteInput->evaluator() == mp_evaluator;
}

QWidget* ImitationQuestionEngine::getWidget(Question::WidgetType)
{
    return nullptr;
}

void ImitationQuestionEngine::showFeedback() {}

bool ImitationQuestionEngine::event(QEvent* e)
{
    if (e->type() != AudioSequencerMarkerEvent::customType())
        return QObject::event(e);
    const auto* marker = static_cast<AudioSequencerMarkerEvent*>(e);
    // Only markers of the timeline laid out now count; one of a replaced timeline is stale.
    const QList<AudioMarkerRegion*>& regions = m_sequencer.markerRegions();
    const bool current = std::any_of(regions.cbegin(), regions.cend(), [&](const AudioMarkerRegion* r) {
        return r->target() == this && r->id() == marker->id() && r->position() == marker->time();
    });
    if (current)
        newMarker(marker->id());
    else
        LOG_DEBUG(kChannel, "ignoring stale marker %d at %f", marker->id(), marker->time());
    return true;
}

void ImitationQuestionEngine::inputEvaluated(int idx, Evaluator::EvaluationEntry entry)
{
    LOG_ENTRY(kChannel);
    int value = entry.pitch;
    if (entry.pitch == Evaluator::WRONG)
        value = Evaluator::WRONG;
    else if (!mp_evaluator || mp_evaluator->mode() != Evaluator::PitchMode)
        value = entry.rhythm;

    auto appendRow = [this](int outcome, const Evaluator::EvaluationEntry& e) {
        auto* item = new QStandardItem();
        item->setData(outcome, OutcomeRole);
        mp_outcomeModel->appendRow(item);
        auto* grade = new QStandardItem();
        grade->setData(outcome, OutcomeRole);
        grade->setData(e.skipped, SkippedRole);
        grade->setData(int(e.rhythm), RhythmRole);
        grade->setData(int(e.pitch), PitchRole);
        grade->setData(e.timing, TimingRole);
        mp_gradeModel->appendRow(grade);
    };
    // a note passed over was never answered
    Evaluator::EvaluationEntry passed;
    passed.skipped = true;
    while (mp_outcomeModel->rowCount() < idx)
        appendRow(Evaluator::WRONG, passed);
    if (mp_outcomeModel->rowCount() == idx)
        appendRow(value, entry);
    else
        // a note passed over has its row already; its own grade (skipped) comes when the rest is graded
        LOG_INFO(kChannel, "dropping out of order index %d", idx);

    if (mp_inputScore && mp_evaluator) {
        // The colours as this grade left them; a later grade may already be under way on the worker.
        mp_inputScore->setGMNCode(entry.colouredGmn.isEmpty() ? mp_evaluator->getGmnBasedOnInput()
                                                              : entry.colouredGmn);
        emit inputScoreChanged();
    }
    emit mp_outcomeModel->lengthChanged();
    emit mp_gradeModel->lengthChanged();
    emit outcomeModelChanged();
}

void ImitationQuestionEngine::enter_waitForStartState()
{
    LOG_ENTRY(kChannel);
    resetSequencer();
}

void ImitationQuestionEngine::playbackEnded(int run)
{
    if (run != m_activeRun)
        return;  // aborted, restarted or already graded
    m_activeRun = 0;
    // Without its last marker the attempt would wait for ever. What was answered so far is not the
    // learner's result: the sound stopped, not the learner. No grade or mark comes of it.
    QString reason = m_sequencer.lastError();
    if (reason.isEmpty())
        reason = QStringLiteral("playback ended before the capture end");
    LOG_ERROR(kChannel, "the attempt failed: %s; nothing is graded", qPrintable(reason));
    if (ownsNoteInput())
        mp_noteInput->stop();
    if (mp_micSource && mp_micSource->mp_detector)
        mp_micSource->mp_detector->wait();
    // grades already queued from the worker land before the rows are cleared
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    reset();
    emit failed(reason);
}

void ImitationQuestionEngine::enter_evaluateState()
{
    LOG_ENTRY(kChannel);
    m_activeRun = 0;
    // The answer is heard to the capture end before the input stops: on a busy machine the detector's
    // worker lags the stream, and the audio thread may not even have handed the last samples over.
    // What was not analysed would be dropped with the input. Graded before the end, it is all in.
    if (mp_micSource && mp_micSource->mp_detector) {
        if (m_captureEnded)
            mp_micSource->mp_detector->waitForInputEnd(kHearTheRestStall);
        else
            mp_micSource->mp_detector->wait();
    }
    if (ownsNoteInput())
        mp_noteInput->stop();
    // And the grades it made are in the outcome rows before the unmade ones are filled in.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    mp_evaluator->finalize();
    if (const int early = earlyInputCount())
        LOG_INFO(kChannel, "%d inputs came before the first note's reach and were not graded", early);
    if (const int extra = extraInputCount())
        LOG_INFO(kChannel, "%d inputs took no note (more than the notes) and were not graded", extra);
    emit finished(mp_evaluator->getOutcome());
}

double ImitationQuestionEngine::addCountInMarkers(double t)
{
    const QList<Score::BeatInfo>& beats = mp_questionScore->measureInfoList().first().beatList;
    const double tempo = double(mp_questionScore->tempo());
    int id = 1;
    for (const Score::BeatInfo& beat : beats) {
        m_sequencer.addMarker(this, id++, t, true);
        t += (60.0 / tempo) / (1.0 / (beat.length * 4.0));
    }
    return t;
}

void ImitationQuestionEngine::enter_startState()
{
    LOG_ENTRY(kChannel);
    m_activeRun = 0;  // stops while laying out the new attempt end nothing
    // The previous attempt's input may still run; grading stops before the evaluator is refreshed.
    if (ownsNoteInput())
        mp_noteInput->stop();
    // An engine reused for another question grades against the answer score it has now.
    mp_evaluator->setScore(*mp_answerScore);
    reset();
    emit started();

    BRISOLA_ASSERT(!mp_questionScore->measureInfoList().isEmpty());
    if (mp_questionScore->measureInfoList().isEmpty())
        return;
    const double duration = mp_questionScore->duration();

    resetSequencer();
    m_sequencer.addSilence(kLeadIn, 0.0, true);

    const double t1 = m_sequencer.duration();
    mp_questionScore->setMetronomeMode(Metronome::ModeMonotone);
    mp_questionScore->setMetronomeCountIn(mp_settings->playbackMetronomeCountIn);
    mp_questionScore->setMetronomeScore(mp_settings->playbackMetronome);
    mp_questionScore->setPlaybackEnabled(true);
    mp_questionScore->sequence(m_sequencer, t1);
    const double playbackStart = mp_settings->playbackMetronomeCountIn ? addCountInMarkers(t1) : t1;
    m_sequencer.addMarker(this, MarkerPlaybackBegin, playbackStart, true);
    m_sequencer.addMarker(this, MarkerPlaybackEnd, m_sequencer.duration(), true);

    m_sequencer.addSilence(kPause, m_sequencer.duration(), true);
    const double t2 = m_sequencer.duration();
    m_sequencer.addMarker(this, MarkerPreCapture, t2 - kPreCaptureLead, true);

    mp_questionScore->setMetronomeMode(Metronome::ModeMonotone);
    mp_questionScore->setMetronomeCountIn(mp_settings->captureMetronomeCountIn);
    mp_questionScore->setMetronomeScore(mp_settings->captureMetronome);
    mp_questionScore->setPlaybackEnabled(mp_settings->capturePlayback);
    mp_questionScore->sequence(m_sequencer, t2);
    const double inputBegin = mp_settings->captureMetronomeCountIn ? addCountInMarkers(t2) : t2;

    double window = duration;
    double region = kCaptureLead + duration + kRhythmTail;
    if (mp_evaluator->mode() == Evaluator::PitchMode) {
        window = std::max(kPitchWindowMinimum, duration + duration);
        region = window;
    }
    m_captureBeginPosition = inputBegin - kCaptureLead;
    if (mp_micSource)
        m_sequencer.addInput(mp_micSource, region, m_captureBeginPosition, true);
    else
        m_sequencer.addSilence(region, m_captureBeginPosition, true);

    m_sequencer.addMarker(this, MarkerCaptureBegin, m_captureBeginPosition, true);
    m_sequencer.addMarker(this, MarkerUserInputBegin, inputBegin, true);
    m_sequencer.addMarker(this, MarkerUserInputEnd, inputBegin + window, true);
    m_sequencer.addMarker(this, MarkerCaptureEnd, m_sequencer.duration(), true);

    prepPitchDetection(kCaptureLead);

    m_sequencer.prepare();
    if (mp_micSource) {
        qint64 regionSamples = 0;
        for (const AudioInputRegion* r : m_sequencer.inputRegions())
            regionSamples = r->listener() == mp_micSource ? r->totalSamples() : regionSamples;
        mp_micSource->rewindCapture(regionSamples);
    }
    const bool playing = m_sequencer.play() == 0;
    const int run = m_activeRun = ++m_runCount;
    if (!playing)  // no stream, so no marker will come
        QMetaObject::invokeMethod(this, [this, run] { playbackEnded(run); }, Qt::QueuedConnection);
}

void ImitationQuestionEngine::prepPitchDetection(double startOffset)
{
    if (mp_settings->captureType == ImitationQuestionSettings::CaptureRhythm)
        return;
    MicNoteInputSource* mic = NoteInputManager::getInstance()->mp_micSource;
    PitchDetector* detector = mic ? mic->mp_detector : nullptr;
    if (!detector)
        return;
    QList<PitchDetector::NoteInfo> expected;
    const QList<Score::NoteInfo>& notes = mp_answerScore->noteList();
    for (int i = 0; i < notes.size(); ++i) {
        const Score::NoteInfo& record = notes.at(i);
        if (record.note == Pitch::NONE)
            continue;
        PitchDetector::NoteInfo info;
        info.frequency = -1.0;
        info.note = Pitch::Note(record.note);
        info.octave = Pitch::gmnToMidiOctave(record.octave);
        info.offset = record.start() + startOffset;
        info.duration = 0.0;
        LOG_DEBUG(kChannel, "expected note %lu\t%s\t%f\n", static_cast<unsigned long>(i), Pitch::noteToStr(info.note),
                  info.offset);
        expected.append(info);
    }
    // The worker reads them during its passes, which hold this lock.
    std::lock_guard<std::mutex> processing(detector->mp_thread->processingMutex());
    detector->m_expectedNotes = expected;
}

void ImitationQuestionEngine::newMarker(int id)
{
    LOG_DEBUG(kChannel, "recv marker: %d", id);
    if (id > 0 && id < 999) {
        emit countInBeat(id);
        return;
    }
    switch (id) {
    case MarkerPlaybackBegin:
        emit playbackBegin();
        break;
    case MarkerPlaybackEnd:
        emit playbackEnd();
        break;
    case MarkerPreCapture:
        emit preCapture();
        break;
    case MarkerCaptureBegin: {
        m_captureBegun = true;
        emit captureBegin();
        mp_noteInput->reset();
        mp_noteInput->setEvaluator(mp_evaluator);
        mp_noteInput->start(kCaptureLead);
        // Key presses are timed on the stream's own clock from where this marker lies, however late
        // this event is handled.
        const double origin = m_captureBeginPosition;
        mp_noteInput->setInputClock([this, origin] { return m_sequencer.playbackPosition() - origin; });
        break;
    }
    case MarkerUserInputBegin:
        emit userInputBegin();
        break;
    case MarkerUserInputEnd:
        emit userInputEnd();
        break;
    case MarkerCaptureEnd:
        m_captureEnded = true;
        emit captureEnd();
        break;
    default:
        BRISOLA_ASSERT(0);
        break;
    }
}
