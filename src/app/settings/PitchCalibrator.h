#pragma once

#include <QObject>
#include <QString>

class MicFileCapture;
class MicInput;
class PitchCalibrationListener;
class PitchDetector;
class PitchTesterListener;

// The settings screen's microphone check: a capture that finds the loudest sample and stores the
// microphone's peak amplitude in the settings, and a test mode that reports the notes the pitch
// detector hears. Only the calibrator of InputCalibrator has a detector.
class PitchCalibrator : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString gmnCode READ gmnCode CONSTANT)
    Q_PROPERTY(bool calibrated READ calibrated WRITE setCalibrated NOTIFY calibratedChanged)
    Q_PROPERTY(int progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(QString failReason READ failReason NOTIFY failReasonChanged)
public:
    explicit PitchCalibrator(QObject* parent = nullptr);
    ~PitchCalibrator() override;

    QString gmnCode() const { return QStringLiteral("[]"); }
    bool calibrated() const { return m_calibrated; }
    // Stores and signals, also when unchanged.
    void setCalibrated(bool calibrated);
    int progress() const { return m_progress; }
    QString failReason() const { return m_failReason; }

    void setDetector(PitchDetector* detector);
    PitchDetector* detector() const { return mp_detector; }
    PitchCalibrationListener* calibrationListener() const { return mp_calibrationListener; }
    PitchTesterListener* tester() const { return mp_tester; }
    MicInput* micInput() const { return mp_mic; }
    // A recorder over the microphone, ready for a check that keeps what was heard; never started here.
    MicFileCapture* fileCapture() const { return mp_fileCapture; }

    // The peak amplitude stored for a measured peak p (0 to 1): 1 when nothing was heard, room
    // above quieter microphones, at most 1.
    static double peakAmplitudeFor(double p);

    Q_INVOKABLE void startCapture();
    Q_INVOKABLE void stopCapture();
    Q_INVOKABLE void calibrate();
    Q_INVOKABLE void abortCalibration();
    Q_INVOKABLE void startTest();
    Q_INVOKABLE void stopTest();

    void load();
    void save();

signals:
    void calibratedChanged();
    void progressChanged();
    void failReasonChanged();
    void testNote(QString note, int octave);

public slots:
    void onNoteEvent(QString note, int octave);

private:
    PitchDetector* mp_detector = nullptr;
    PitchCalibrationListener* mp_calibrationListener;
    PitchTesterListener* mp_tester;
    MicInput* mp_mic;
    MicFileCapture* mp_fileCapture;
    int m_progress = 0;
    bool m_calibrated = false;
    QString m_failReason;
};
