#pragma once

#include "app/settings/InputLevelMeter.h"
#include "app/settings/PitchCalibrator.h"

#include <QObject>

// The "calibration" entry of the runtime map: one level meter and the one calibrator that works
// with the microphone source's pitch detector. Create it after the note inputs are set up.
class InputCalibrator : public QObject {
    Q_OBJECT
    Q_PROPERTY(InputLevelMeter* inputLevelMeter READ inputLevelMeter CONSTANT)
    Q_PROPERTY(PitchCalibrator* calibrator READ calibrator CONSTANT)
public:
    static InputCalibrator* getInstance();

    InputLevelMeter* inputLevelMeter() const { return mp_inputLevelMeter; }
    PitchCalibrator* calibrator() const { return mp_calibrator; }

private:
    InputCalibrator();

    static InputCalibrator* mp_instance;
    InputLevelMeter* mp_inputLevelMeter;
    PitchCalibrator* mp_calibrator;
};
