#include "score/Score.h"

#include "debug/Debugging.h"
#include "notation/NotationEngine.h"
#include "notation/NotationPageManager.h"
#include "notation/NotationPainter.h"
#include "notation/NotationEventMatcher.h"

#include <cmath>

static const char* const kChannel = "score";

void Score::setScalingFactor(double factor)
{
    LOG_TRACE(kChannel, "[%lu] %s(factor=%lf)", m_instance, "setScalingFactor", factor);
    // NaN lies outside 0..10 as well; it would give the item a size of NaN
    if (factor == m_scalingFactor || !(factor >= 0.0 && factor <= 10.0))
        return;
    m_scalingFactor = factor;
    if (isLaidOut())
        rescale();
    emit scalingFactorChanged();
}

void Score::setCompact(bool yes)
{
    LOG_TRACE(kChannel, "[%lu] %s(yes=%d)", m_instance, "setCompact", int(yes));
    if (yes == m_compact)
        return;
    NotationPageFormat format;
    if (yes) {
        format = guidoPageFormat();
        format.marginLeft = format.marginTop = format.marginRight = format.marginBottom = 0.0f;
    } else {
        format = NotationEngine::instance().defaultPageFormat();
    }
    setGuidoPageFormat(format);
    if (isLaidOut()) {
        m_basePageSize = pageManager()->pageSize(1);
        rescale();
    }
    m_compact = yes;
    emit compactChanged();
}

void Score::rescale()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "rescale");
    if (!isLaidOut()) {
        LOG_WARN(kChannel, "[%lu] gmn not valid; bailing out", m_instance);
        return;
    }
    if (m_scalingFactor == 0.0 || pageCount() < 1)
        return;
    // only the first page is ever shown
    const QSizeF size(m_scalingFactor * m_basePageSize.width(), m_scalingFactor * m_basePageSize.height());
    pageManager()->setPages({size});
    updateItem();
    acquireBoundingRects();
    setSize(size);
}

void Score::acquireBoundingRects()
{
    LOG_TRACE(kChannel, "[%lu] %s entered...", m_instance, "acquireBoundingRects");
    if (!isLaidOut()) {
        LOG_WARN(kChannel, "[%lu] gmn not valid; bailing out", m_instance);
        return;
    }
    m_noteBoundingRects.clear();
    const QSizeF page = pageManager()->pageSize(1);
    LOG_TRACE(kChannel, "[%lu] page size: %lf x %lf", m_instance, page.width(), page.height());

    NotationMap staffMap;
    int rc = painter()->staffMap(1, page, 1, staffMap);
    if (rc != 0) {
        LOG_ERROR(kChannel, "[%lu] GuidoGetStaffMap failed (rc=%d gmn=\"%s\")", m_instance, rc, qPrintable(gmnCode()));
        return;
    }
    NotationMap voiceMap;
    rc = painter()->voiceMap(1, page, 1, voiceMap);
    if (staffMap.size() < voiceMap.size())
        LOG_WARN(kChannel,
                 "[%lu] GUIDO bug - staff map (size=%d) is smaller than voice map (size=%d). Will attempt to work "
                 "around it.",
                 m_instance, int(staffMap.size()), int(voiceMap.size()));
    if (rc != 0) {
        LOG_ERROR(kChannel, "[%lu] GuidoGetVoiceMap failed (rc=%d gmn=\"%s\")", m_instance, rc, qPrintable(gmnCode()));
        return;
    }

    // rectangle i belongs to note i of the note list, whatever order the engine lists a chord in
    const QList<NotationEventMatcher::Source> records = NotationEventMatcher::match(m_voiceEvents, voiceMap).records;
    for (int i = 0; i < records.size(); ++i) {
        const int entry = records.at(i).entry;
        const QRectF note = voiceMap.at(entry).rect;
        double top = 0.0;
        double height = 0.0;
        if (staffMap.size() == voiceMap.size()) {
            top = staffMap.at(entry).rect.top();
            height = staffMap.at(entry).rect.height();
        } else if (!staffMap.isEmpty()) {
            // the staff band nearest to the note, first wins on a tie
            double best = -1.0;
            for (const NotationMapEntry& staff : staffMap) {
                const double distance = std::fabs(staff.rect.center().y() - note.center().y());
                if (best < 0.0 || distance < best) {
                    best = distance;
                    top = staff.rect.top();
                    height = staff.rect.height();
                }
            }
        }
        if (int(top) == 0 && int(height) == 0) {
            top = note.top();
            height = 4 * note.height();
        } else if (int(height) == 0) {
            // the flat band of a one-line (percussive) staff would give a flat rectangle
            top = note.top();
            height = note.height();
        }
        const double w = note.width();
        const QRectF rect(note.left() - w / 2, top - height / 2, 2 * w, 2 * height);
        m_noteBoundingRects << QVariant(rect);
        LOG_TRACE(kChannel, "[%lu]   idx=%-3d [ staff: (%.2lf, %.2lf), (%.2lf, %.2lf) | note: (%.2lf, %.2lf), (%.2lf, %.2lf) ]",
                  m_instance, i, rect.left(), rect.top(), rect.right(), rect.bottom(), note.left(), note.top(),
                  note.right(), note.bottom());
    }
    emit noteBoundingRectsChanged();
}
