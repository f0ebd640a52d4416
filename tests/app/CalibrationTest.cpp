#include "SettingsFixture.h"

#include "app/settings/InputCalibrator.h"
#include "app/settings/InputLevelMeter.h"
#include "app/settings/PitchCalibrationListener.h"
#include "app/settings/PitchCalibrator.h"
#include "app/settings/PitchTesterListener.h"
#include "app/settings/Settings.h"
#include "audio/AudioInputRegion.h"
#include "audio/MicInput.h"
#include "audio/MicFileCapture.h"
#include "exercise/MicNoteInputSource.h"
#include "pitch/DetectorThread.h"
#include "pitch/PitchDetector.h"

#include <QSignalSpy>

#include <cmath>
#include <mutex>
#include <vector>

namespace {

PitchDetector* detector()
{
    return NoteInputManager::getInstance()->mp_micSource->mp_detector;
}

class CalibrationTest : public SettingsFixture {};

// What nothing heard leaves: the stored calibration, good or none, as it was.
TEST_F(CalibrationTest, LargestSampleDecidesThePeakAmplitudeStored)
{
    struct Row {
        std::vector<short> samples;
        int maximum;
        bool heard;
        QString stored;  // input_mic_peak_amplitude afterwards; empty: no row
    };
    const Row table[] = {
        {{0, 0, 0}, 0, false, ""},
        {{327, -12}, 327, false, ""},                  // p = 0.00998: nothing heard
        {{-328, 5}, 328, true, "0.02001953125"},       // p = 0.01001: twice p (by magnitude)
        {{-16384, 16383}, 16384, true, "0.75"},        // p = 0.5: one and a half p
        {{32767}, 32767, true, "1"},                   // capped at 1
        {{-32768, 0}, 32768, true, "1"},
        {{-16384, 16383}, 16384, true, "0.75"},
        {{100, -327}, 327, false, "0.75"},             // the good one before stays
    };
    for (const Row& r : table) {
        PitchCalibrator calibrator;
        QSignalSpy failed(&calibrator, &PitchCalibrator::failReasonChanged);
        const double detectorPeak = detector()->m_peakAmplitude;
        for (short s : r.samples)
            calibrator.calibrationListener()->newSample(s);
        EXPECT_EQ(calibrator.calibrationListener()->maximum(), r.maximum);
        calibrator.calibrate();
        const bool stored = !r.stored.isEmpty();
        EXPECT_EQ(calibrator.calibrated(), stored) << r.maximum;
        EXPECT_EQ(failed.count(), r.heard ? 0 : 1);
        QString reason;
        if (!r.heard)
            reason = stored ? "Could not detect your input.  Is the microphone working?  The earlier calibration is kept."
                            : "Could not detect your input.  Is the microphone working?";
        EXPECT_EQ(calibrator.failReason(), reason) << r.maximum;
        EXPECT_EQ(calibrator.progress(), 100);
        const QMap<QString, QString> expected =
            stored ? QMap<QString, QString>{{"input_mic_calibrated", "true"},
                                            {"input_mic_noise_floor", "0"},
                                            {"input_mic_peak_amplitude", r.stored}}
                   : QMap<QString, QString>{};
        EXPECT_EQ(rows(), expected) << r.maximum;
        EXPECT_EQ(detector()->m_peakAmplitude, r.heard ? r.stored.toDouble() : detectorPeak);
        if (r.heard) {
            EXPECT_EQ(detector()->m_noiseFloor, 0.0);
        }
    }
}

TEST_F(CalibrationTest, TestModeReportsNamedNotesAndNeedsADetector)
{
    PitchCalibrator calibrator;
    PitchDetector::NoteInfo note;
    QSignalSpy notes(&calibrator, &PitchCalibrator::testNote);
    // a recorder over the calibrator's own microphone, which nothing starts
    ASSERT_NE(calibrator.fileCapture(), nullptr);
    EXPECT_EQ(calibrator.fileCapture()->micInput(), calibrator.micInput());

    // created from QML: no detector, so test mode does nothing
    PitchListener* before = detector()->mp_listener;
    calibrator.startTest();
    EXPECT_TRUE(LogCapture::instance().contains("test mode not started"));
    EXPECT_EQ(detector()->mp_listener, before);
    calibrator.tester()->newSample(1000);  // no detector to feed: ignored
    // the runtime's calibrator has the microphone source's
    auto* runtimeCalibrator = InputCalibrator::getInstance()->property("calibrator").value<PitchCalibrator*>();
    ASSERT_TRUE(runtimeCalibrator);
    EXPECT_EQ(runtimeCalibrator->detector(), detector());

    calibrator.setDetector(detector());
    // a finished singing exercise leaves its expected notes behind; test mode must not use them
    detector()->m_expectedNotes = {PitchDetector::NoteInfo()};
    calibrator.startTest();
    calibrator.stopTest();
    EXPECT_TRUE(detector()->m_expectedNotes.isEmpty());
    EXPECT_FALSE(calibrator.fileCapture()->isRunning());
    note.note = Pitch::NONE;
    calibrator.tester()->newNote(note);
    note.note = Pitch::ASharp;
    note.octave = 3;
    calibrator.tester()->newNote(note);
    note.note = Pitch::A;
    note.octave = 4;
    calibrator.tester()->newNote(note);
    QCoreApplication::processEvents();
    ASSERT_EQ(notes.count(), 2);
    EXPECT_EQ(notes.at(0), QVariantList({"A#", 3}));
    EXPECT_EQ(notes.at(1), QVariantList({"A", 4}));
}

// A microphone faster than the analysis (the test card; a loaded machine) leaves blocks queued when
// test mode ends: stopped, its calibrator gone, or the detector taken away at the program's end, they
// are not analysed for its tester any more (the worker would call a deleted tester, or run on through
// the process's exit and crash there).
TEST_F(CalibrationTest, EndedTestModeLeavesNothingQueuedForItsTester)
{
    enum End { Stopped, Destroyed, DetectorTakenAway };
    for (End end : {Stopped, Destroyed, DetectorTakenAway}) {
        SCOPED_TRACE(end);
        auto* calibrator = new PitchCalibrator;
        QSignalSpy notes(calibrator, &PitchCalibrator::testNote);
        calibrator->setDetector(detector());
        calibrator->startTest();
        calibrator->micInput()->stop();  // the samples come from here
        ASSERT_EQ(detector()->mp_listener, calibrator->tester());
        {
            // 100 blocks of an A4 queued while the worker is held
            std::lock_guard<std::mutex> processing(detector()->mp_thread->processingMutex());
            for (int i = 0; i < 100 * 2048; ++i)
                calibrator->tester()->newSample(short(8000 * std::sin(2 * M_PI * 440.0 * i / 44100.0)));
        }
        if (end == Destroyed)
            delete calibrator;
        else if (end == Stopped)
            calibrator->stopTest();
        else
            calibrator->setDetector(nullptr);
        EXPECT_EQ(detector()->mp_thread->queuedCount(), 0);
        EXPECT_EQ(detector()->mp_listener, nullptr);
        // the pass in hand when it ended may have named a note; nothing is named after it
        QCoreApplication::processEvents();
        const int named = notes.count();
        detector()->wait();
        QCoreApplication::processEvents();
        if (end != Destroyed) {
            EXPECT_EQ(notes.count(), named);
            delete calibrator;
        }
    }
}

TEST_F(CalibrationTest, LevelMeterReportsTheMeanMagnitudeOfEvery250SamplesThroughARing)
{
    InputLevelMeter loud;
    InputLevelMeter quiet;
    QSignalSpy loudLevels(&loud, &InputLevelMeter::newInputLevel);
    QSignalSpy quietLevels(&quiet, &InputLevelMeter::newInputLevel);
    // interleaved, as two meters on two callback threads would run: neither sees the other's sum
    for (int i = 0; i < 749; ++i) {
        loud.newSample(0.0, short(i % 2 ? 32767 : -32767));
        quiet.newSample(0.0, short(i < 250 ? 3277 : i % 2 ? 0 : 6554));
    }
    // reports wait for the main thread
    EXPECT_EQ(loudLevels.count(), 0);
    loud.deliverLevels();
    quiet.deliverLevels();
    ASSERT_EQ(loudLevels.count(), 2);  // the third block of 250 is not complete
    ASSERT_EQ(quietLevels.count(), 2);
    EXPECT_DOUBLE_EQ(loudLevels.at(0).at(0).toDouble(), 1.0);
    EXPECT_DOUBLE_EQ(loudLevels.at(1).at(0).toDouble(), 1.0);
    EXPECT_NEAR(quietLevels.at(0).at(0).toDouble(), 0.1, 1e-4);
    EXPECT_NEAR(quietLevels.at(1).at(0).toDouble(), 0.1, 1e-4);
    quiet.newSample(0.0, 0);
    quiet.deliverLevels();
    EXPECT_EQ(quietLevels.count(), 3);

    // its input region outlasts any session: 365 days of frames, beyond a 32-bit count
    ASSERT_EQ(loud.sequencer().inputRegions().size(), 1);
    EXPECT_EQ(loud.sequencer().inputRegions().first()->totalSamples(), qint64(31536000) * 44100);

    // the ring drops rather than waits when the main thread stalls
    InputLevelMeter meter;
    QSignalSpy levels(&meter, &InputLevelMeter::newInputLevel);
    for (int i = 0; i < 300 * 250; ++i)
        meter.newSample(0.0, short(i / 250));
    meter.deliverLevels();
    ASSERT_EQ(levels.count(), 256);
    // the oldest reports, in order
    EXPECT_DOUBLE_EQ(levels.at(0).at(0).toDouble(), 0.0);
    EXPECT_DOUBLE_EQ(levels.at(255).at(0).toDouble(), 255 / 32767.0);
    meter.newSample(0.0, 0);
    for (int i = 0; i < 249; ++i)
        meter.newSample(0.0, 300);
    meter.deliverLevels();
    ASSERT_EQ(levels.count(), 257);
    EXPECT_NEAR(levels.at(256).at(0).toDouble(), 249 * 300 / 32767.0 / 250, 1e-12);
}

} // namespace
