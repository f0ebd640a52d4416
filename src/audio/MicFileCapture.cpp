#include "audio/MicFileCapture.h"

#include "audio/MicInput.h"
#include "debug/Debugging.h"

static const char* const kChannel = "audio-micfc";

MicFileCapture::MicFileCapture(MicInput* mic) : mp_mic(mic) {}

MicFileCapture::~MicFileCapture()
{
    stop();
}

int MicFileCapture::start(const QString& fileName)
{
    LOG_ENTRY(kChannel);
    BRISOLA_ASSERT(!m_isRunning);
    if (m_isRunning)
        return 0;
    const int rc = m_writer.open(fileName, WavDesc());
    if (rc != 0)
        LOG_ERROR(kChannel, "WavWriter failed to open %s (%d)", qPrintable(fileName), rc);
    else
        m_isRunning = true;
    if (mp_mic) {
        mp_mic->setSampleListener(this);
        mp_mic->start();
    }
    return rc != 0 ? 1 : 0;
}

int MicFileCapture::stop()
{
    LOG_ENTRY(kChannel);
    if (!m_isRunning)
        return 0;
    if (mp_mic)
        mp_mic->stop();  // joins the callback, so nothing writes while the file closes
    m_writer.close();
    m_isRunning = false;
    return 0;
}

void MicFileCapture::newSample(short sample)
{
    if (m_isRunning)
        m_writer.addData16(&sample, 1);
}
