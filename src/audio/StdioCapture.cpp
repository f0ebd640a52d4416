#include "audio/StdioCapture.h"

#include <unistd.h>

StdioCapture::StdioCapture()
{
    std::fflush(stdout);
    std::fflush(stderr);
    mp_file = std::tmpfile();
    if (!mp_file)
        return;
    m_savedOut = dup(STDOUT_FILENO);
    m_savedErr = dup(STDERR_FILENO);
    if (m_savedOut < 0 || m_savedErr < 0 || dup2(fileno(mp_file), STDOUT_FILENO) < 0
        || dup2(fileno(mp_file), STDERR_FILENO) < 0) {
        finish();  // puts back whatever was moved
        return;
    }
}

StdioCapture::~StdioCapture()
{
    finish();
}

QStringList StdioCapture::finish()
{
    if (!mp_file)
        return {};
    std::fflush(stdout);
    std::fflush(stderr);
    if (m_savedOut >= 0) {
        dup2(m_savedOut, STDOUT_FILENO);
        close(m_savedOut);
    }
    if (m_savedErr >= 0) {
        dup2(m_savedErr, STDERR_FILENO);
        close(m_savedErr);
    }
    m_savedOut = m_savedErr = -1;
    QByteArray text;
    std::rewind(mp_file);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, mp_file)) > 0)
        text.append(chunk, int(n));
    std::fclose(mp_file);
    mp_file = nullptr;
    QStringList lines;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines << QString::fromLocal8Bit(line);
    }
    return lines;
}
