#include "app/settings/InputCalibrator.h"

#include "app/settings/InputLevelMeter.h"
#include "app/settings/PitchCalibrator.h"
#include "debug/Debugging.h"
#include "exercise/MicNoteInputSource.h"
#include "exercise/NoteInputManager.h"

InputCalibrator* InputCalibrator::mp_instance = nullptr;

InputCalibrator* InputCalibrator::getInstance()
{
    if (!mp_instance)
        mp_instance = new InputCalibrator();
    return mp_instance;
}

InputCalibrator::InputCalibrator()
    : mp_inputLevelMeter(new InputLevelMeter(this)), mp_calibrator(new PitchCalibrator(this))
{
    mp_calibrator->setLevelMeter(mp_inputLevelMeter);
    MicNoteInputSource* mic = NoteInputManager::getInstance()->mp_micSource;
    if (mic)
        mp_calibrator->setDetector(mic->mp_detector);
    else
        LOG_WARN("zq-calibrator", "the note inputs are not set up; the calibrator has no pitch detector");
}
