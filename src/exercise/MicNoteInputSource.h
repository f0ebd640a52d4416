#pragma once

#include "audio/AudioSequencerInputListener.h"
#include "audio/formats/WavWriter.h"
#include "exercise/ClapOnsetPicker.h"
#include "exercise/NoteInputSource.h"
#include "pitch/PitchDetector.h"
#include "pitch/PitchListener.h"

#include <atomic>

// The microphone as a note source: the samples of the exercise's input region go to the pitch
// detector (audio thread) and its notes to the note input (detector worker). Notes are dated from
// the input region's first sample, however late the main thread started the source.
class MicNoteInputSource : public NoteInputSource, public AudioSequencerInputListener, public PitchListener {
    Q_OBJECT
public:
    MicNoteInputSource(const QString& name, PitchDetector* detector, QObject* parent = nullptr);
    ~MicNoteInputSource() override;

    void start() override;
    void stop() override;
    // Forgetting the input waits until neither the audio thread nor the detector's worker uses it.
    void setNoteInput(NoteInput* input) override;

    void newSample(double time, short sample) override;
    void newNote(const PitchDetector::NoteInfo& info) override;
    // Detector worker: for an input that takes attacks, each attack heard is one timed input.
    void newBlock(const QVector<double>& block, double time) override;

    // Main thread, before the timeline with this source's input region plays: region samples are
    // counted from here. The region's last sample (of regionSamples; 0: no end known) ends the
    // detector's input.
    void rewindCapture(qint64 regionSamples = 0);
    // Seconds from the input region's first sample to the first one the detector was given.
    double clockShift() const { return m_clockShift.load(std::memory_order_acquire); }

    // Every sample of the input region also goes to this listener (a live level), on the audio
    // thread. Clearing it waits until the audio thread no longer uses it.
    void setLevelListener(AudioSequencerInputListener* listener);

    void setCaptureFile(const QString& path) { m_captureFile = path; }
    const QString& captureFile() const { return m_captureFile; }

    PitchDetector* mp_detector;
    QString m_captureFile;
    WavWriter m_wavWriter;

private:
    void waitForUsers() const;
    void attackHeard(double time);

    std::atomic<AudioSequencerInputListener*> mp_levelListener{nullptr};
    // Threads (audio, detector worker) inside a call that may use the note input or the level listener.
    std::atomic<int> m_users{0};
    // Audio thread while a stream runs; set by rewindCapture before it starts.
    std::atomic<qint64> m_regionSamples{0};
    std::atomic<qint64> m_regionLength{0};
    std::atomic<bool> m_detectorFed{false};
    std::atomic<double> m_clockShift{0.0};
    // Detector worker; reset by start() under the detector's processing lock.
    ClapOnsetPicker m_attackPicker;
};
