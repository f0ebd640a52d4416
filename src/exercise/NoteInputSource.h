#pragma once

#include <QObject>
#include <QString>

#include <atomic>

class NoteInput;

// Where a note input's notes come from (the keyboard, the microphone). A source feeds the note
// input that last started it; the audio and detector threads read that pointer, so it is an atomic
// published after the source has started.
class NoteInputSource : public QObject {
    Q_OBJECT
public:
    explicit NoteInputSource(const QString& name, QObject* parent = nullptr);
    ~NoteInputSource() override;

    virtual bool isConfigured() const { return true; }
    virtual bool isAvailable() const { return true; }
    virtual void start() {}
    virtual void stop() {}

    const QString& name() const { return m_name; }
    NoteInput* noteInput() const { return mp_noteInput.load(std::memory_order_acquire); }
    // Main thread. Sources that hand inputs over from other threads wait in their override until
    // no thread still uses the input they forget.
    virtual void setNoteInput(NoteInput* input);

    QString m_name;

protected:
    std::atomic<NoteInput*> mp_noteInput{nullptr};
};
