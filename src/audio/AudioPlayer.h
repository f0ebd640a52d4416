#pragma once

#include "audio/AudioSequencer.h"

#include <QObject>
#include <QString>

// Plays one sound file (or an excerpt of it) at a time through its own sequencer.
class AudioPlayer : public QObject {
    Q_OBJECT
public:
    static AudioPlayer* getInstance();

    // Decodes [offset, offset + duration) of the file (0, 0: all of it) as the new timeline; 0 or 4.
    int prepare(const QString& path, double offset, double duration);
    // Prepares when the timeline is empty, then plays; 0, or 4 when decoding or starting failed.
    int playFile(const QString& path, double offset, double duration);
    int stop();
    AudioSequencer& sequencer() { return m_sequencer; }

signals:
    void playFinished();

public slots:
    void finished();

private:
    AudioPlayer();
    ~AudioPlayer() override;

    static AudioPlayer* mp_instance;
    AudioSequencer m_sequencer;
};
