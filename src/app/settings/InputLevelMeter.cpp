#include "app/settings/InputLevelMeter.h"

#include "debug/Debugging.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInputManager.h"

static const char* const kChannel = "zq-calibrator";
// a few reports at a time (176 a second); the ring holds more than a second of them
static const int kDeliveryIntervalMs = 20;

InputLevelMeter::InputLevelMeter(QObject* parent) : QObject(parent), m_sequencer(44100, 2)
{
    m_sequencer.addInput(this, kInputSeconds, 0.0, true);
    m_delivery.setInterval(kDeliveryIntervalMs);
    connect(&m_delivery, &QTimer::timeout, this, &InputLevelMeter::deliverLevels);
}

static MicNoteInputSource* questionInput()
{
    return NoteInputManager::getInstance()->mp_micSource;
}

InputLevelMeter::~InputLevelMeter()
{
    m_delivery.stop();
    if (m_following && questionInput())
        questionInput()->setLevelListener(nullptr);
    if (m_sequencer.isPlaying())
        m_sequencer.stop(true);
}

void InputLevelMeter::resetCounts()
{
    // nothing feeds the meter now: the callback's counters are ours to reset
    m_count = 0;
    m_sum = 0.0;
}

void InputLevelMeter::start()
{
    LOG_ENTRY(kChannel);
    if (m_sequencer.isPlaying() || m_following)
        return;
    m_fed = false;
    resetCounts();
    m_sequencer.prepare();
    m_sequencer.play();
    m_delivery.start();
}

void InputLevelMeter::follow()
{
    LOG_ENTRY(kChannel);
    if (m_following)
        return;
    if (m_sequencer.isPlaying())
        m_sequencer.stop(true);
    MicNoteInputSource* input = questionInput();
    if (!input) {
        LOG_WARN(kChannel, "the note inputs are not set up; the level meter has no input to follow");
        return;
    }
    resetCounts();
    m_following = true;
    input->setLevelListener(this);
    m_delivery.start();
}

void InputLevelMeter::takeFed()
{
    LOG_ENTRY(kChannel);
    stop();
    resetCounts();
    m_fed = true;
    m_delivery.start();
}

void InputLevelMeter::stop()
{
    LOG_ENTRY(kChannel);
    m_fed = false;
    if (m_following) {
        m_following = false;
        if (MicNoteInputSource* input = questionInput())
            input->setLevelListener(nullptr);
    }
    m_sequencer.stop(true);
    m_delivery.stop();
    deliverLevels();
}

void InputLevelMeter::newSample(double, short sample)
{
    m_sum += (sample < 0 ? -double(sample) : double(sample)) / 32767.0;
    if (++m_count % kSamplesPerReport != 0)
        return;
    const double level = m_sum / kSamplesPerReport;
    m_sum = 0.0;
    const quint32 written = m_written.load(std::memory_order_relaxed);
    // a full ring (main thread stalled) drops the newest report rather than wait
    if (written - m_delivered.load(std::memory_order_acquire) >= kRingSize)
        return;
    m_ring[written % kRingSize] = level;
    m_written.store(written + 1, std::memory_order_release);
}

void InputLevelMeter::deliverLevels()
{
    const quint32 written = m_written.load(std::memory_order_acquire);
    quint32 delivered = m_delivered.load(std::memory_order_relaxed);
    while (delivered != written) {
        const double level = m_ring[delivered % kRingSize];
        m_delivered.store(++delivered, std::memory_order_release);
        emit newInputLevel(level);
    }
}
