#include "app/facades/PracticeItem.h"

PracticeItem::PracticeItem(const QString& name)
    : QObject(nullptr)
    , m_name(name)
    , m_progress(0.0)
    , m_selected(false)
    , m_locked(false)
{
}

void PracticeItem::setProgress(double progress)
{
    m_progress = progress;
    emit progressChanged();
}

void PracticeItem::setSelected(bool selected)
{
    m_selected = selected;
    emit selectedChanged();
}

void PracticeItem::setLocked(bool locked)
{
    m_locked = locked;
    emit lockedChanged();
}
