#include "exercise/KeyboardNoteInputSource.h"

#include "debug/Debugging.h"
#include "exercise/NoteInput.h"

static const char* const kChannel = "zq-notein";

KeyboardNoteInputSource::KeyboardNoteInputSource(QObject* parent)
    : NoteInputSource(QStringLiteral("Keyboard"), parent)
{
}

void KeyboardNoteInputSource::keyPressEvent(QKeyEvent*)
{
    LOG_DEBUG(kChannel, "new keyboard \"note\"");
    NoteInput* input = noteInput();
    if (input && input->isStarted())
        input->handleInput(this, Pitch::C, -1, -1.0);
    // The first input may have finished the evaluation, which stops the input and forgets it here.
    input = noteInput();
    if (input)
        input->handleInput(this, Pitch::NONE, -1, -1.0);
}

void KeyboardNoteInputSource::onKeyPress(QKeyEvent* e)
{
    keyPressEvent(e);
}
