#include "audio/Audio.h"

#include "audio/AlsaMessages.h"
#include "audio/AudioStreamOwner.h"
#include "audio/StdioCapture.h"
#include "debug/Debugging.h"

#include <QList>
#include <QMutex>
#include <QPair>

#include <portaudio.h>

#include <atomic>

static const char* const kChannel = "audio";

namespace {

QMutex g_mutex;
bool g_initialized = false;
std::atomic<int> g_inputDevice{-1};
std::atomic<int> g_outputDevice{-1};
std::atomic<double> g_inputSensitivity{1.0};
std::atomic<double> g_outputVolume{1.0};
QList<QPair<void*, AudioStreamOwner*>> g_activeStreamList;

enum class Direction { Input, Output };

bool qualifies(const PaDeviceInfo* info, Direction direction)
{
    if (!info || !info->name)
        return false;
    return direction == Direction::Input ? info->maxInputChannels > 0 : info->maxOutputChannels > 0;
}

QStringList deviceList(Direction direction)
{
    QStringList names;
    const int count = Pa_GetDeviceCount();
    if (count < 0) {
        LOG_ERROR(kChannel, "Pa_CountDevices returned 0x%x\n", unsigned(count));
        return names;
    }
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (qualifies(info, direction))
            names << QString::fromLatin1(info->name);
    }
    return names;
}

// Every qualifying device of that name is selected in turn; no match keeps the selection.
void selectDevice(Direction direction, const QString& name)
{
    const int count = Pa_GetDeviceCount();
    if (count < 0) {
        LOG_ERROR(kChannel, "Pa_CountDevices returned 0x%x\n", unsigned(count));
        return;
    }
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!qualifies(info, direction) || QString::fromLatin1(info->name) != name)
            continue;
        if (direction == Direction::Input) {
            LOG_INFO(kChannel, "setting input device to \"%s\"", info->name);
            g_inputDevice = i;
        } else {
            LOG_INFO(kChannel, "setting output device to \"%s\"", info->name);
            g_outputDevice = i;
        }
        // No break: with several devices of that name the last one wins.
    }
}

QString deviceName(int index, const char* unknown)
{
    const PaDeviceInfo* info = index >= 0 && index < Pa_GetDeviceCount() ? Pa_GetDeviceInfo(index) : nullptr;
    if (!info || !info->name)
        return QString::fromLatin1(unknown);
    return QString::fromLatin1(info->name);
}

}  // namespace

bool Audio::initialize()
{
    LOG_ENTRY(kChannel);
    QMutexLocker lock(&g_mutex);
    if (g_initialized)
        return true;

    LOG_INFO(kChannel, "initializing...");
    // The back ends (ALSA, JACK) print every device they fail to probe, and ALSA every underrun it
    // recovers from later; that is the log's business.
    AlsaMessages::sendToLog();
    StdioCapture probing;
    const PaError err = Pa_Initialize();
    for (const QString& line : probing.finish())
        LOG_DEBUG(kChannel, "device probing: %s", qPrintable(line));
    if (err != paNoError) {
        LOG_ERROR(kChannel, "failed to initialize portaudio (%d : %s)", err, Pa_GetErrorText(err));
        return false;
    }
    int input = Pa_GetDefaultInputDevice();
    int output = Pa_GetDefaultOutputDevice();
    for (int i = 0; i < Pa_GetHostApiCount(); ++i) {
        const PaHostApiInfo* api = Pa_GetHostApiInfo(i);
        if (!api)
            continue;
        LOG_INFO(kChannel,
                 "detected host API (type=%d name=\"%s\" deviceCount=%d defaultInputDevice=%d defaultOutputDevice=%d)",
                 int(api->type), api->name, api->deviceCount, api->defaultInputDevice, api->defaultOutputDevice);
        if (api->type == paDirectSound) {
            input = api->defaultInputDevice;
            output = api->defaultOutputDevice;
        }
    }
    g_inputDevice = input;
    g_outputDevice = output;
    LOG_INFO(kChannel, "selectedInputDevice=%d selectedOutputDevice=%d)", input, output);

    if (input < 0) {
        const QStringList idl = inputDeviceList();
        BRISOLA_ASSERT_MSG(!idl.isEmpty(), "Can not detect any input devices on your system!");
        if (!idl.isEmpty()) {
            LOG_INFO(kChannel, "could not detect default input device, fallback: %s", qPrintable(idl.first()));
            setInputDevice(idl.first());
        }
    }
    if (output < 0) {
        const QStringList odl = outputDeviceList();
        BRISOLA_ASSERT_MSG(!odl.isEmpty(), "Can not detect any output devices on your system!");
        if (!odl.isEmpty()) {
            LOG_INFO(kChannel, "could not detect default output device, fallback: %s", qPrintable(odl.first()));
            setOutputDevice(odl.first());
        }
    }
    g_initialized = true;
    return true;
}

void Audio::terminate()
{
    LOG_ENTRY(kChannel);
    QMutexLocker lock(&g_mutex);
    if (!g_initialized)
        return;
    const auto streams = g_activeStreamList;
    g_activeStreamList.clear();
    for (const auto& entry : streams) {
        Pa_StopStream(static_cast<PaStream*>(entry.first));
        Pa_CloseStream(static_cast<PaStream*>(entry.first));
        if (entry.second)
            entry.second->audioStreamClosed(entry.first);
    }
    Pa_Terminate();
    g_initialized = false;
}

bool Audio::isInitialized()
{
    QMutexLocker lock(&g_mutex);
    return g_initialized;
}

QStringList Audio::inputDeviceList() { return deviceList(Direction::Input); }
QStringList Audio::outputDeviceList() { return deviceList(Direction::Output); }
void Audio::setInputDevice(const QString& name) { selectDevice(Direction::Input, name); }
void Audio::setOutputDevice(const QString& name) { selectDevice(Direction::Output, name); }
int Audio::inputDeviceId() { return g_inputDevice; }
int Audio::outputDeviceId() { return g_outputDevice; }
QString Audio::inputDeviceName() { return deviceName(g_inputDevice, "Unknown Input Device"); }
QString Audio::outputDeviceName() { return deviceName(g_outputDevice, "Unknown Output Device"); }
void Audio::setInputSensitivity(double sensitivity) { g_inputSensitivity = sensitivity; }
double Audio::inputSensitivity() { return g_inputSensitivity; }
void Audio::setOutputVolume(double volume) { g_outputVolume = volume; }
double Audio::outputVolume() { return g_outputVolume.load(std::memory_order_relaxed); }

void Audio::addActiveAudioHandle(void* stream, AudioStreamOwner* owner)
{
    LOG_ENTRY(kChannel);
    if (!stream)
        return;
    QMutexLocker lock(&g_mutex);
    g_activeStreamList.append(qMakePair(stream, owner));
}

void Audio::delActiveAudioHandle(void* stream)
{
    LOG_ENTRY(kChannel);
    QMutexLocker lock(&g_mutex);
    for (int i = 0; i < g_activeStreamList.size(); ++i) {
        if (g_activeStreamList[i].first == stream) {
            g_activeStreamList.removeAt(i);
            return;
        }
    }
}

int Audio::activeAudioHandleCount()
{
    QMutexLocker lock(&g_mutex);
    return g_activeStreamList.size();
}
