#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class InputLevelMeter;
class MicFileCapture;
class MicInput;
class PitchCalibrationListener;
class PitchDetector;
class PitchTesterListener;

// The settings screen's microphone check: a capture of four seconds of samples that finds the
// loudest one and stores the microphone's peak amplitude in the settings, and a test mode that
// reports the notes the pitch detector hears. Only the calibrator of InputCalibrator has a detector.
// A capture that hears nothing, or whose microphone stops delivering, says why and leaves the
// stored calibration as it was.
class PitchCalibrator : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString gmnCode READ gmnCode CONSTANT)
    Q_PROPERTY(bool calibrated READ calibrated WRITE setCalibrated NOTIFY calibratedChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(bool capturing READ capturing NOTIFY capturingChanged)
    Q_PROPERTY(int captureSeconds READ captureSeconds CONSTANT)
    Q_PROPERTY(QString failReason READ failReason NOTIFY failReasonChanged)
public:
    explicit PitchCalibrator(QObject* parent = nullptr);
    ~PitchCalibrator() override;

    QString gmnCode() const { return QStringLiteral("[]"); }
    bool calibrated() const { return m_calibrated; }
    // Stores and signals, also when unchanged.
    void setCalibrated(bool calibrated);
    // Percent of the capture's samples taken.
    int progress() const { return m_progress; }
    bool capturing() const { return m_capturing; }
    int captureSeconds() const { return kCaptureSeconds; }
    QString failReason() const { return m_failReason; }

    void setDetector(PitchDetector* detector);
    // The settings screen's meter: while this calibrator holds the microphone the meter's own
    // stream is closed and the meter hears the calibrator's (a device may take one opener only).
    void setLevelMeter(InputLevelMeter* meter) { mp_meter = meter; }
    PitchDetector* detector() const { return mp_detector; }
    PitchCalibrationListener* calibrationListener() const { return mp_calibrationListener; }
    PitchTesterListener* tester() const { return mp_tester; }
    MicInput* micInput() const { return mp_mic; }
    // A recorder over the microphone, ready for a check that keeps what was heard; never started here.
    MicFileCapture* fileCapture() const { return mp_fileCapture; }

    // The peak amplitude stored for a measured peak p (0 to 1): 1 when nothing was heard, room
    // above quieter microphones, at most 1.
    static double peakAmplitudeFor(double p);

    static constexpr int kCaptureSeconds = 4;
    static constexpr qint64 kCaptureSamples = qint64(kCaptureSeconds) * 44100;
    // A microphone that delivers nothing for this long (its start excepted) has stopped.
    static constexpr int kStallMs = 2000;
    // What a stream may take to deliver its first samples.
    static constexpr int kFirstSamplesMs = 5000;

    // Starts a capture that ends by itself, through calibrate(), once its samples are taken.
    Q_INVOKABLE void startCapture();
    // Ends the microphone; a capture still running is abandoned and nothing is stored.
    Q_INVOKABLE void stopCapture();
    // Judges what was captured so far: stores the calibration when something was heard, else says
    // why and keeps the stored one.
    Q_INVOKABLE void calibrate();
    Q_INVOKABLE void startTest();
    Q_INVOKABLE void stopTest();

    void load();
    void save();

signals:
    void calibratedChanged();
    void progressChanged();
    void failReasonChanged();
    void capturingChanged();
    void testNote(QString note, int octave);

public slots:
    void onNoteEvent(QString note, int octave);

private:
    // Main thread, while capturing: the samples taken so far move the progress and end the capture.
    void watchCapture();
    void endCapture();
    // A failed capture: the stored calibration stays and `calibrated` says what it holds.
    void keepStoredCalibration(const QString& reason);
    void setFailReason(const QString& reason);
    void setCapturing(bool capturing);
    // Before the microphone starts: the meter, if it runs a stream of its own, is fed from here.
    void takeMeter();
    // After the microphone stopped: the meter gets its own stream back.
    void returnMeter();

    PitchDetector* mp_detector = nullptr;
    InputLevelMeter* mp_meter = nullptr;
    bool m_meterTaken = false;
    PitchCalibrationListener* mp_calibrationListener;
    PitchTesterListener* mp_tester;
    MicInput* mp_mic;
    MicFileCapture* mp_fileCapture;
    int m_progress = 0;
    bool m_calibrated = false;
    bool m_capturing = false;
    QTimer m_captureWatch;
    QElapsedTimer m_sinceLastSample;
    qint64 m_lastTaken = 0;
    QString m_failReason;
};
