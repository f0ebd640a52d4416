#include "exercise/NoteInput.h"

#include "debug/Debugging.h"
#include "exercise/Evaluator.h"
#include "exercise/NoteInputSource.h"

#include <QThread>

static const char* const kChannel = "zq-notein";

NoteInput::NoteInput(QObject* parent) : QObject(parent) {}

NoteInput::~NoteInput()
{
    stop();
}

void NoteInput::registerSource(NoteInputSource* src)
{
    LOG_ENTRY(kChannel);
    BRISOLA_ASSERT(src);
    if (!src)
        return;
    LOG_DEBUG(kChannel, "registering %s", qPrintable(src->name()));
    m_sourceList.insert(src);
    // A source deleted while registered must not stay behind as a dangling pointer.
    connect(src, &QObject::destroyed, this, [this, src] {
        m_sourceList.remove(src);
        NoteInputSource* active = src;
        mp_activeSource.compare_exchange_strong(active, nullptr, std::memory_order_acq_rel);
    });
    if (m_sourceList.size() == 1)
        mp_activeSource.store(src, std::memory_order_release);
}

void NoteInput::unregisterSource(NoteInputSource* src)
{
    LOG_ENTRY(kChannel);
    BRISOLA_ASSERT(src);
    if (!src)
        return;
    LOG_DEBUG(kChannel, "unregistering %s", qPrintable(src->name()));
    m_sourceList.remove(src);
    disconnect(src, &QObject::destroyed, this, nullptr);
}

void NoteInput::setActiveSource(NoteInputSource* src)
{
    LOG_ENTRY(kChannel);
    BRISOLA_ASSERT(src);
    BRISOLA_ASSERT(m_sourceList.contains(src));
    if (!src || !m_sourceList.contains(src))
        return;
    LOG_DEBUG(kChannel, "setting as active: %s", qPrintable(src->name()));
    mp_activeSource.store(src, std::memory_order_release);
}

void NoteInput::start(double startOffset)
{
    LOG_ENTRY(kChannel);
    BRISOLA_ASSERT(mp_evaluator);
    BRISOLA_ASSERT(!m_isStarted);
    NoteInputSource* active = activeSource();
    LOG_DEBUG(kChannel, "current active source: %s", active ? qPrintable(active->name()) : "");
    // A reset input may still hold its sources from the previous run.
    stopSources();
    m_startOffset = startOffset;
    m_inputCount.store(0, std::memory_order_relaxed);
    m_time.start();
    // Each source is ready before another thread can see it feeding this input.
    for (NoteInputSource* src : qAsConst(m_sourceList)) {
        LOG_DEBUG(kChannel, "starting %s", qPrintable(src->name()));
        src->start();
        src->setNoteInput(this);
    }
    m_sourcesRunning = true;
    m_isStarted.store(true, std::memory_order_release);
}

void NoteInput::stop()
{
    LOG_ENTRY(kChannel);
    m_isStarted.store(false, std::memory_order_release);
    stopSources();
    m_clock = Clock();
}

void NoteInput::stopSources()
{
    if (!m_sourcesRunning)
        return;
    m_sourcesRunning = false;
    for (NoteInputSource* src : qAsConst(m_sourceList)) {
        LOG_DEBUG(kChannel, "stopping %s", qPrintable(src->name()));
        // Forgotten first: the source then knows no thread still feeds it before it stops.
        if (src->noteInput() == this)
            src->setNoteInput(nullptr);
        src->stop();
    }
}

void NoteInput::reset()
{
    m_isStarted.store(false, std::memory_order_release);
}

void NoteInput::handleInput(NoteInputSource* source, Pitch::Note note, int octave, double offset)
{
    BRISOLA_ASSERT(mp_evaluator);
    NoteInputSource* active = activeSource();
    if (source && active && source != active) {
        LOG_DEBUG(kChannel, "discarding input from inactive source source...");
        return;
    }
    if (!isStarted() || !mp_evaluator)
        return;
    if (offset < 0.0)
        offset = m_clock ? m_clock() : double(m_time.elapsed()) / 1000.0;
    offset -= m_startOffset;
    if (note != Pitch::NONE)
        m_inputCount.fetch_add(1, std::memory_order_acq_rel);
    if (!mp_evaluator->evaluate(note, octave, offset))
        return;
    // Only the thread that clears the flag finishes, so inputFinished is emitted once.
    bool started = true;
    if (!m_isStarted.compare_exchange_strong(started, false, std::memory_order_acq_rel))
        return;
    // The sources are stopped on the main thread: the one grading here may be the detector's worker,
    // which a stopping microphone source waits for.
    if (QThread::currentThread() == thread())
        stopSources();
    else
        QMetaObject::invokeMethod(this, [this] {
            if (!isStarted())  // not started again meanwhile
                stopSources();
        }, Qt::QueuedConnection);
    LOG_DEBUG(kChannel, "emitting inputFinished");
    emit inputFinished();
}
