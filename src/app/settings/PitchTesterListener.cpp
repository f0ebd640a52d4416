#include "app/settings/PitchTesterListener.h"

#include "audio/MicInput.h"
#include "debug/Debugging.h"
#include "pitch/DetectorThread.h"
#include "pitch/Pitch.h"

static const char* const kChannel = "zq-calibrator";

PitchTesterListener::PitchTesterListener(QObject* parent) : QObject(parent) {}

void PitchTesterListener::start()
{
    LOG_ENTRY(kChannel);
    PitchDetector* detector = this->detector();
    if (!detector || !mp_mic) {
        LOG_WARN(kChannel, "no pitch detector to test with; test mode not started");
        return;
    }
    {
        // Test mode names whatever is heard: the last exercise's expected notes would bend
        // results towards them, or drop them all once every one was attained.
        std::lock_guard<std::mutex> processing(detector->mp_thread->processingMutex());
        detector->m_expectedNotes.clear();
    }
    detector->start();
    mp_mic->setSampleListener(this);
    {
        std::lock_guard<std::mutex> processing(detector->mp_thread->processingMutex());
        detector->mp_listener = this;
    }
    mp_mic->start();
}

void PitchTesterListener::stop()
{
    LOG_ENTRY(kChannel);
    if (mp_mic)
        mp_mic->stop();
    // A microphone faster than the analysis leaves blocks queued: they are nobody's test now, and a
    // listener about to go (or a process about to end) must not be called by the worker meanwhile.
    PitchDetector* detector = this->detector();
    if (!detector || detector->mp_listener != this)
        return;  // the detector is a question's again (its listener is set on the main thread only)
    detector->reset();
    std::lock_guard<std::mutex> processing(detector->mp_thread->processingMutex());
    detector->mp_listener = nullptr;
}

void PitchTesterListener::newSample(short sample)
{
    if (MicSampleListener* level = mp_level.load(std::memory_order_acquire))
        level->newSample(sample);
    if (PitchDetector* detector = mp_detector.load(std::memory_order_acquire))
        detector->addSample(sample / 32767.0);
}

void PitchTesterListener::newNote(const PitchDetector::NoteInfo& info)
{
    if (info.note == Pitch::NONE)
        return;
    emit noteEvent(QString::fromLatin1(Pitch::noteToStr(info.note)), info.octave);
}
