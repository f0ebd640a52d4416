#include "exercise/MicNoteInputSource.h"

#include "debug/Debugging.h"
#include "exercise/DebugFile.h"
#include "exercise/NoteInput.h"
#include "pitch/DetectorThread.h"

#include <mutex>
#include <thread>

#include <unistd.h>

static const char* const kChannel = "zq-notein";

MicNoteInputSource::MicNoteInputSource(const QString& name, PitchDetector* detector, QObject* parent)
    : NoteInputSource(name, parent), mp_detector(detector)
{
    m_attackPicker.setListener([this](double time) { attackHeard(time); });
}

MicNoteInputSource::~MicNoteInputSource()
{
    setNoteInput(nullptr);
    if (mp_detector && mp_detector->mp_listener == this) {
        std::lock_guard<std::mutex> processing(mp_detector->mp_thread->processingMutex());
        mp_detector->mp_listener = nullptr;
    }
}

void MicNoteInputSource::start()
{
    LOG_TRACE(kChannel, "starting mic note input source");
    if (!m_captureFile.isEmpty()) {
        const int fd = DebugFile::openForWriting(m_captureFile);
        if (fd >= 0) {
            // Reopened through the checked descriptor, so no link planted meanwhile is followed.
            m_wavWriter.open(QStringLiteral("/proc/self/fd/%1").arg(fd), WavDesc());
            ::close(fd);
        }
    }
    m_detectorFed.store(false, std::memory_order_relaxed);
    m_clockShift.store(0.0, std::memory_order_relaxed);
    if (!mp_detector)
        return;
    {
        // The worker reads the listener during its passes.
        std::lock_guard<std::mutex> processing(mp_detector->mp_thread->processingMutex());
        mp_detector->mp_listener = this;
        m_attackPicker.reset();
    }
    mp_detector->start();
}

void MicNoteInputSource::stop()
{
    LOG_TRACE(kChannel, "stopping mic note input source");
    setNoteInput(nullptr);
    m_wavWriter.close();
}

void MicNoteInputSource::setNoteInput(NoteInput* input)
{
    mp_noteInput.store(input, std::memory_order_seq_cst);
    if (!input)
        waitForUsers();
}

void MicNoteInputSource::waitForUsers() const
{
    // Pairs with the increment before the load in newSample/newNote: either that load sees the
    // cleared input, or this sees the user and waits for it to leave.
    while (m_users.load(std::memory_order_seq_cst) > 0)
        std::this_thread::yield();
}

void MicNoteInputSource::setLevelListener(AudioSequencerInputListener* listener)
{
    mp_levelListener.store(listener, std::memory_order_seq_cst);
    if (!listener)
        waitForUsers();
}

void MicNoteInputSource::rewindCapture(qint64 regionSamples)
{
    m_regionSamples.store(0, std::memory_order_relaxed);
    m_regionLength.store(regionSamples, std::memory_order_relaxed);
}

void MicNoteInputSource::newSample(double time, short sample)
{
    // Counted from the region's first sample, fed or not; the passed time is the start of the
    // callback's window, not of this sample.
    const qint64 index = m_regionSamples.load(std::memory_order_relaxed);
    m_regionSamples.store(index + 1, std::memory_order_relaxed);

    m_users.fetch_add(1, std::memory_order_seq_cst);
    if (AudioSequencerInputListener* level = mp_levelListener.load(std::memory_order_seq_cst))
        level->newSample(time, sample);
    NoteInput* input = mp_noteInput.load(std::memory_order_seq_cst);
    if (input && input->isStarted()) {
        if (!m_detectorFed.load(std::memory_order_relaxed)) {
            m_clockShift.store(double(index) / 44100.0, std::memory_order_release);
            m_detectorFed.store(true, std::memory_order_relaxed);
        }
        if (m_wavWriter.isOpen())
            m_wavWriter.addData16(&sample, 1);
        if (mp_detector)
            mp_detector->addSample(sample);
    }
    // The region's end is the input's: grading waits for all of it to be analysed.
    if (index + 1 == m_regionLength.load(std::memory_order_relaxed) && mp_detector)
        mp_detector->endInput();
    m_users.fetch_sub(1, std::memory_order_release);
}

void MicNoteInputSource::newNote(const PitchDetector::NoteInfo& info)
{
    LOG_ENTRY(kChannel);
    if (info.note == Pitch::NONE)
        return;
    const double offset = info.offset + clockShift();
    m_users.fetch_add(1, std::memory_order_seq_cst);
    // The count of users holds the input; a sung "ta" on an input that takes attacks counts by its
    // attack, not once more as a note.
    NoteInput* input = mp_noteInput.load(std::memory_order_seq_cst);
    if (input && !input->takesAttacks()) {
        LOG_DEBUG(kChannel, "%s new mic note: %s%d; offset: %.2lf", qPrintable(m_name), Pitch::noteToStr(info.note),
                  info.octave, offset);
        input->handleInput(this, info.note, info.octave, offset);
    }
    m_users.fetch_sub(1, std::memory_order_release);
}

void MicNoteInputSource::newBlock(const QVector<double>& block, double time)
{
    m_users.fetch_add(1, std::memory_order_seq_cst);
    NoteInput* input = mp_noteInput.load(std::memory_order_seq_cst);
    if (input && input->takesAttacks())
        m_attackPicker.process(block.constData(), block.size(), time);
    m_users.fetch_sub(1, std::memory_order_release);
}

void MicNoteInputSource::attackHeard(double time)
{
    // Inside newBlock, whose count of users holds the input.
    NoteInput* input = mp_noteInput.load(std::memory_order_seq_cst);
    if (!input)
        return;
    const double offset = time + clockShift();
    LOG_DEBUG(kChannel, "%s attack at %.3lf", qPrintable(m_name), offset);
    // as a key press: one timed input, then the moment alone for the evaluator's overflow test
    input->handleInput(this, Pitch::C, -1, offset);
    if (mp_noteInput.load(std::memory_order_seq_cst))
        input->handleInput(this, Pitch::NONE, -1, offset);
}
