#include "exercise/NoteInputSource.h"

#include "exercise/NoteInput.h"

NoteInputSource::NoteInputSource(const QString& name, QObject* parent) : QObject(parent), m_name(name) {}

NoteInputSource::~NoteInputSource()
{
    if (NoteInput* input = noteInput())
        input->unregisterSource(this);
}

void NoteInputSource::setNoteInput(NoteInput* input)
{
    mp_noteInput.store(input, std::memory_order_release);
}
