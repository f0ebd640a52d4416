#include "app/facades/QmlGlobals.h"

#include "debug/Debugging.h"
#include "framework/FrameworkManager.h"

using edufrmwk::FrameworkManager;

static const char* const kChannel = "zq-qml";

QmlGlobals* QmlGlobals::mp_instance = nullptr;

QmlGlobals* QmlGlobals::getInstance()
{
    if (!mp_instance)
        mp_instance = new QmlGlobals();
    return mp_instance;
}

void QmlGlobals::pushLock()
{
    const int depth = m_lockDepth++;
    if (depth == 0)
        emit interactionEnabledUpdated();
    LOG_DEBUG(kChannel, "pushLock(depth=%d)\n", m_lockDepth);
}

void QmlGlobals::popLock()
{
    if (m_lockDepth > 0)
        --m_lockDepth;
    if (m_lockDepth == 0)
        emit interactionEnabledUpdated();
    LOG_DEBUG(kChannel, "popLock(depth=%d)\n", m_lockDepth);
}

QString QmlGlobals::recordsNotice() const
{
    if (m_unreadable)
        return tr("Your records could not be read just now (another program may be using them), so what "
                  "this screen shows may be incomplete.");
    if (m_recovered.isEmpty() || m_setAside.isEmpty())
        return m_recovered + m_setAside;
    return m_recovered + QLatin1Char(' ') + m_setAside;
}

int QmlGlobals::unsavedCount() const
{
    return FrameworkManager::getInstance()->unsavedCount();
}

bool QmlGlobals::unsavedInFile() const
{
    return !FrameworkManager::getInstance()->unsavedFile().isEmpty();
}

void QmlGlobals::setNotices(bool unreadable, const QString& recovered, const QString& setAside)
{
    const QString before = recordsNotice();
    m_unreadable = unreadable;
    m_recovered = recovered;
    m_setAside = setAside;
    if (recordsNotice() != before)
        emit recordsNoticeChanged();
}

void QmlGlobals::checkSetAside()
{
    const edufrmwk::PendingRecords& pending = FrameworkManager::getInstance()->pendingRecords();
    const int unrecovered = pending.unreadableCount();
    const int refused = pending.refusedCount();
    const QString separator = QStringLiteral(", ");
    QStringList text;
    if (unrecovered > 0)
        text << tr("Some results from your last session could not be recovered: their records were damaged.");
    if (pending.tooLargeCount() > 0)
        text << tr("Some results from your last session were not read: their file is larger than this program "
                   "reads (256 MiB).");
    if (refused > 0)
        text << (refused == 1 ? tr("One result could not be saved: your records refused it.")
                              : tr("%1 results could not be saved: your records refused them.").arg(refused));
    if (!pending.setAsideIn().isEmpty())
        text << tr("What they were is kept in %1.").arg(pending.setAsideIn().join(separator));
    if (!pending.leftIn().isEmpty())
        text << tr("Results from your last session are still in %1: they could not be taken in yet, and will be "
                   "at a later start.").arg(pending.leftIn().join(separator));
    if (!pending.linkedIn().isEmpty())
        text << tr("Results from your last session were taken in from %1; another name of that file still holds "
                   "them.").arg(pending.linkedIn().join(separator));
    for (const edufrmwk::PendingRecords::OpenFolder& folder : pending.openFolders())
        text << tr("Results from your last session are in %1 (%2), a folder of yours of mode %3, not 0700: they "
                   "were not taken in. Make it 0700 (chmod 700 %1) and the next start takes them in.")
                    .arg(folder.path,
                         folder.files == 1 ? tr("one file") : tr("%1 files").arg(folder.files),
                         QStringLiteral("%1").arg(folder.mode, 4, 8, QLatin1Char('0')));
    const QString said = text.join(QLatin1Char(' '));
    if (said == m_setAsideSaid)
        return;
    m_setAsideSaid = said;
    LOG_INFO(kChannel, "told the learner: %s", said.toUtf8().constData());
    setNotices(m_unreadable, m_recovered, said);
}

void QmlGlobals::recordsRead(bool ok)
{
    if (!ok) {
        LOG_WARN(kChannel, "records could not be read; the screen shows what it has");
        m_sinceFailure.start();
    } else {
        m_sinceFailure.invalidate();
    }
    setNotices(!ok, m_recovered, m_setAside);
    checkUnsaved();
}

bool QmlGlobals::recordsJustFailed() const
{
    return m_sinceFailure.isValid() && m_sinceFailure.elapsed() < 3000;
}

void QmlGlobals::announceRecovered()
{
    const FrameworkManager* manager = FrameworkManager::getInstance();
    const int found = manager->recoveredCount();
    checkSetAside();
    if (found == 0)
        return;
    const int saved = manager->recoveredSavedCount();
    // The refused ones are told with where they were set aside.
    const int waiting = found - saved - manager->recoveredRefusedCount();
    QString text = found == 1 ? tr("One result from your last session could not be saved then.")
                              : tr("%1 results from your last session could not be saved then.").arg(found);
    if (saved == found)
        text += QLatin1Char(' ') + (found == 1 ? tr("It has been saved now.") : tr("They have been saved now."));
    else if (waiting > 0)
        text += QLatin1Char(' ') + tr("%1 of them have been saved now; %2 will be saved as soon as your records "
                                      "can be written.").arg(saved).arg(waiting);
    else
        text += QLatin1Char(' ') + tr("%1 of them have been saved now.").arg(saved);
    LOG_INFO(kChannel, "told the learner: %s", text.toUtf8().constData());
    setNotices(m_unreadable, text, m_setAside);
    checkUnsaved();
}

void QmlGlobals::checkUnsaved()
{
    checkSetAside();
    const int count = unsavedCount();
    const bool inFile = unsavedInFile();
    if (count == m_unsavedSeen && inFile == m_inFileSeen)
        return;
    m_unsavedSeen = count;
    m_inFileSeen = inFile;
    emit unsavedChanged();
}

void QmlGlobals::dismissRecordsNotice()
{
    setNotices(false, QString(), QString());
}
