#pragma once

#include "exercise/NoteInputSource.h"

class QKeyEvent;

// Key presses as timed inputs (the key itself is not read): each press is one input of note C,
// followed by a NONE input that only takes part in the evaluator's overflow test.
class KeyboardNoteInputSource : public NoteInputSource {
    Q_OBJECT
public:
    explicit KeyboardNoteInputSource(QObject* parent = nullptr);

    virtual void keyPressEvent(QKeyEvent* e);

private slots:
    void onKeyPress(QKeyEvent* e);
};
