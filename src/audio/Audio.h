#pragma once

#include <QString>
#include <QStringList>

class AudioStreamOwner;

// The process-wide layer over PortAudio: initialisation, device choice, volume and the registry of
// open streams. No instances; static state only.
class Audio {
public:
    static bool initialize();
    // Closes every registered stream (telling its owner), then terminates PortAudio.
    static void terminate();
    static bool isInitialized();

    static QStringList inputDeviceList();
    static QStringList outputDeviceList();
    static void setInputDevice(const QString& name);
    static void setOutputDevice(const QString& name);
    static int inputDeviceId();
    static int outputDeviceId();
    static QString inputDeviceName();
    static QString outputDeviceName();

    static void setInputSensitivity(double sensitivity);
    static double inputSensitivity();
    // Read by the audio callbacks for every block.
    static void setOutputVolume(double volume);
    static double outputVolume();

    // Control thread only. A null handle is ignored.
    static void addActiveAudioHandle(void* stream, AudioStreamOwner* owner = nullptr);
    // Removes the first entry of that handle.
    static void delActiveAudioHandle(void* stream);
    static int activeAudioHandleCount();
};
