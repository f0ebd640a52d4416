#pragma once

// A run of log lines of one kind: the first few are written, the rest only counted, for one line
// with the total when the run ends (others can make any number: a flood of connections, of names).
class LogRepeats {
public:
    explicit LogRepeats(int written = 5) : m_written(written) {}

    // Counts one line; true while it is still to be written.
    bool take() { return ++m_count <= m_written; }
    // Ends the run: how many were counted, or 0 when every one was written.
    int end()
    {
        const int count = m_count > m_written ? m_count : 0;
        m_count = 0;
        return count;
    }

private:
    int m_written;
    int m_count = 0;
};
