// An ALSA PCM hook that lets a device be opened once per direction at a time, as a hardware ("hw")
// device is: a second opener gets "Device or resource busy". Loaded by ALSA from the tests' own
// configuration (pcm_hook_type ... install "brisola_one_opener_install").
#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> g_open[2];

int released(snd_pcm_hook_t* hook)
{
    g_open[snd_pcm_stream(snd_pcm_hook_get_pcm(hook))].fetch_sub(1);
    return 0;
}

}  // namespace

extern "C" int brisola_one_opener_install(snd_pcm_t* pcm, snd_config_t*)
{
    const int direction = snd_pcm_stream(pcm);
    if (g_open[direction].fetch_add(1) > 0) {
        g_open[direction].fetch_sub(1);
        return -EBUSY;
    }
    snd_pcm_hook_t* hook = nullptr;
    const int err = snd_pcm_hook_add(&hook, pcm, SND_PCM_HOOK_TYPE_CLOSE, released, nullptr);
    if (err < 0)
        g_open[direction].fetch_sub(1);
    return err;
}
SND_DLSYM_BUILD_VERSION(brisola_one_opener_install, SND_PCM_DLSYM_VERSION);
