#pragma once

#include <QStringList>

#include <cstdio>

// Holds what the process writes to its standard output and error while it lives (both descriptors
// go to an unnamed temporary file) and gives it back as lines. The audio libraries print their
// device probing there; the program sends it to the log instead. Process-wide: other threads'
// writes in the meantime are held too. Without a temporary file nothing is redirected.
class StdioCapture {
public:
    StdioCapture();
    ~StdioCapture();
    StdioCapture(const StdioCapture&) = delete;
    StdioCapture& operator=(const StdioCapture&) = delete;

    // Puts both descriptors back and returns the non-empty lines written since the construction.
    // Later calls return nothing.
    QStringList finish();

    bool capturing() const { return mp_file != nullptr; }

private:
    std::FILE* mp_file = nullptr;
    int m_savedOut = -1;
    int m_savedErr = -1;
};
