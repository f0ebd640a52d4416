#pragma once

#include <QString>
#include <QVariantMap>

// The settings of one imitation exercise, read from the map a QML screen gives the engine.
class ImitationQuestionSettings {
public:
    enum CaptureType { CaptureNone = 0, CaptureRhythm = 1, CapturePitch = 2, CaptureRhythmAndPitch = 3 };

    // The map is not owned and must outlive the settings.
    explicit ImitationQuestionSettings(const QVariantMap* settingsMap);

    // Reads the six keys in order; false (and a WARN line) at the first missing, null or
    // unconvertible value, leaving that field and the ones after it as they were.
    bool load();

    // "none", "rhythm", "pitch", "rhythm_and_pitch"; empty for any other type.
    static QString captureTypeName(int type);

    bool playbackMetronomeCountIn = false;
    bool playbackMetronome = false;
    bool captureMetronomeCountIn = false;
    bool captureMetronome = false;
    bool capturePlayback = false;
    int captureType = CaptureNone;

private:
    const QVariantMap* mp_map;
};
