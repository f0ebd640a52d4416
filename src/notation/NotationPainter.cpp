#include "notation/NotationPainter.h"

#include "debug/Debugging.h"
#include "notation/GmnReader.h"
#include "notation/NotationEngine.h"
#include "notation/NotationResources.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QPainter>
#include <QSvgRenderer>

namespace {
const char* kChannel = "notation";
}

NotationPainter::NotationPainter()
{
    // The SVG names the notation font; it is registered here, on the GUI thread, not where paint runs.
    NotationResources::registerFont();
    NotationEngine& engine = NotationEngine::instance();
    m_settings = engine.defaultLayoutSettings();
    m_pageFormat = engine.defaultPageFormat();
}

NotationPainter::~NotationPainter()
{
    release();
}

void NotationPainter::release()
{
    NotationEngine& engine = NotationEngine::instance();
    // Handles of an ended host are gone with it; only live ones are freed.
    if ((m_ar || m_gr) && m_generation == engine.generation() && engine.isRunning()) {
        QJsonObject args;
        if (m_gr)
            args.insert("gr", m_gr);
        if (m_ar)
            args.insert("ar", m_ar);
        engine.call("free", args);
    }
    m_ar = 0;
    m_gr = 0;
    m_pageSizes.clear();
    m_svgCache.clear();
    m_mapCache.clear();
    m_renderers.clear();
    m_pictures.clear();
}

bool NotationPainter::setGMNCode(const QString& code, const QString& fileNameHint)
{
    m_code = code;
    m_fileName = fileNameHint;
    return layOut();
}

bool NotationPainter::setGMNFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        release();
        m_code.clear();
        m_fileName = fileName;
        m_valid = false;
        m_lastError = QString("cannot read %1: %2").arg(fileName, file.errorString());
        m_lastErrorCode = EngineError;
        m_errorLine = m_errorColumn = -1;
        LOG_WARN(kChannel, "%s", qPrintable(m_lastError));
        return false;
    }
    return setGMNCode(QString::fromUtf8(file.readAll()), fileName);
}

int NotationPainter::getLastParseErrorLine(int& line, int& column) const
{
    line = m_errorLine;
    column = m_errorColumn;
    return m_lastErrorCode;
}

void NotationPainter::applyLayoutReply(const QJsonObject& data)
{
    m_pageSizes.clear();
    for (const QJsonValue& p : data.value("pages").toArray()) {
        const QJsonObject page = p.toObject();
        m_pageSizes.append(QSizeF(page.value("w").toDouble(), page.value("h").toDouble()));
    }
    const QJsonObject d = data.value("duration").toObject();
    m_duration = NotationDate(d.value("num").toInt(), d.value("denom").toInt());
    m_svgCache.clear();
    m_mapCache.clear();
    m_renderers.clear();
    m_pictures.clear();
    // A load brings page 1's usual maps and picture along (one round trip for a question).
    if (data.contains("voiceMap"))
        m_mapCache.insert(mapKey(true, 1, 1), mapFromJson(data.value("voiceMap")));
    if (data.contains("staffMap"))
        m_mapCache.insert(mapKey(false, 1, 1), mapFromJson(data.value("staffMap")));
    if (data.contains("svg"))
        m_svgCache.insert(1, data.value("svg").toString().toUtf8());
}

bool NotationPainter::layOut()
{
    // The old handles are freed by the load itself (one round trip), when they are still alive.
    NotationEngine& engine = NotationEngine::instance();
    QJsonObject old;
    if ((m_ar || m_gr) && m_generation == engine.generation() && engine.isRunning())
        old = QJsonObject{{"ar", m_ar}, {"gr", m_gr}};
    m_ar = 0;
    m_gr = 0;
    release();
    m_valid = false;
    m_lastError.clear();
    m_lastErrorCode = NoError;
    m_errorLine = m_errorColumn = -1;

    QJsonObject args{{"code", m_code},
                     {"settings", m_settings.toJson()},
                     {"pageFormat", m_pageFormat.toJson()},
                     {"resize", m_resizeToMusic},
                     {"maps", true},
                     {"svg", true}};
    if (m_color != QColor(Qt::black))
        args.insert("color", QJsonArray{m_color.red(), m_color.green(), m_color.blue()});
    if (!old.isEmpty())
        args.insert("release", old);
    const NotationReply reply = engine.call("load", args);
    if (!reply.ok()) {
        m_lastError = reply.error;
        m_lastErrorCode = reply.status == NotationReply::Refused ? ParseError : EngineError;
        m_errorLine = reply.line;
        m_errorColumn = reply.column;
        return false;
    }
    m_generation = engine.generation();
    m_ar = qint64(reply.data.value("ar").toDouble());
    m_gr = qint64(reply.data.value("gr").toDouble());
    applyLayoutReply(reply.data);
    m_valid = true;
    return true;
}

bool NotationPainter::ensureCurrent()
{
    if (!m_valid)
        return false;
    NotationEngine& engine = NotationEngine::instance();
    if (!engine.onOwnerThread())
        return false;  // no engine work here, and the score stays as it is
    if (m_generation == engine.generation() && engine.isRunning())
        return true;
    LOG_INFO(kChannel, "notation engine restarted; laying the score out again");
    m_ar = m_gr = 0;  // they died with the old host
    return layOut();
}

bool NotationPainter::relayout()
{
    if (!m_valid)
        return false;
    if (m_generation != NotationEngine::instance().generation() || !NotationEngine::instance().isRunning())
        return ensureCurrent();
    QJsonObject args{{"gr", m_gr},
                     {"settings", m_settings.toJson()},
                     {"pageFormat", m_pageFormat.toJson()},
                     {"resize", m_resizeToMusic}};
    const NotationReply reply = NotationEngine::instance().call("relayout", args);
    if (!reply.ok()) {
        LOG_WARN(kChannel, "relayout failed: %s", qPrintable(reply.error));
        return ensureCurrent() || layOut();
    }
    const QList<int> fetched = m_svgCache.keys();
    applyLayoutReply(reply.data);
    refetch(fetched);
    return true;
}

void NotationPainter::refetch(const QList<int>& pages)
{
    // A paint off the GUI thread draws only pages fetched before; what was fetched stays fetched.
    for (int page : pages) {
        if (page <= m_pageSizes.size())
            pageSvg(page);
    }
}

void NotationPainter::setGuidoLayoutSettings(const NotationLayoutSettings& settings)
{
    m_settings = settings;
    relayout();
}

void NotationPainter::setGuidoPageFormat(const NotationPageFormat& format)
{
    m_pageFormat = format;
    relayout();
}

void NotationPainter::setSystemsDistance(float distance)
{
    m_settings.systemsDistance = distance;
    relayout();
}

void NotationPainter::setResizePageToMusic(bool on)
{
    if (on == m_resizeToMusic)
        return;
    m_resizeToMusic = on;
    // Undoing a resize needs a fresh layout: the engine only shrinks pages.
    if (m_valid)
        on ? relayout() : layOut();
}

void NotationPainter::setScoreColor(const QColor& color)
{
    if (color == m_color)
        return;
    m_color = color;
    const QList<int> fetched = m_svgCache.keys();
    m_svgCache.clear();
    m_renderers.clear();
    m_pictures.clear();
    if (m_valid && NotationEngine::instance().onOwnerThread())
        refetch(fetched);
}

QSizeF NotationPainter::pageSize(int page) const
{
    if (!m_valid || page < 1 || page > m_pageSizes.size())
        return QSizeF();
    return m_pageSizes[page - 1];
}

QSizeF NotationPainter::pageSizeMM(int page) const
{
    const QSizeF units = pageSize(page);
    const double mm = NotationEngine::instance().unitToCm() * 10.0;
    return units.isValid() ? QSizeF(units.width() * mm, units.height() * mm) : QSizeF();
}

QByteArray NotationPainter::pageSvg(int page)
{
    if (!ensureCurrent() || page < 1 || page > m_pageSizes.size())
        return QByteArray();
    auto cached = m_svgCache.constFind(page);
    if (cached != m_svgCache.constEnd())
        return cached.value();
    QJsonObject args{{"gr", m_gr}, {"page", page}};
    if (m_color != QColor(Qt::black))
        args.insert("color", QJsonArray{m_color.red(), m_color.green(), m_color.blue()});
    const NotationReply reply = NotationEngine::instance().call("svg", args);
    if (!reply.ok()) {
        LOG_WARN(kChannel, "no SVG for page %d: %s", page, qPrintable(reply.error));
        return QByteArray();
    }
    const QByteArray svg = reply.data.value("svg").toString().toUtf8();
    m_svgCache.insert(page, svg);
    return svg;
}

QSvgRenderer* NotationPainter::renderer(int page)
{
    auto it = m_renderers.constFind(page);
    if (it != m_renderers.constEnd())
        return it.value().get();
    // QtQuick may paint on its render thread (the GUI thread waits meanwhile); the engine is only
    // asked from its own thread, so there only a picture fetched before can be drawn.
    QByteArray svg = m_svgCache.value(page);
    if (svg.isEmpty()) {
        if (!NotationEngine::instance().onOwnerThread()) {
            LOG_WARN(kChannel, "page %d was not fetched before painting off the GUI thread", page);
            return nullptr;
        }
        svg = pageSvg(page);
    }
    if (svg.isEmpty())
        return nullptr;
    auto r = std::make_shared<QSvgRenderer>(svg);
    if (!r->isValid()) {
        LOG_WARN(kChannel, "the engine's SVG of page %d does not render", page);
        return nullptr;
    }
    r->setAspectRatioMode(Qt::KeepAspectRatio);
    m_renderers.insert(page, r);
    return r.get();
}

bool NotationPainter::draw(QPainter* painter, int page, const QRect& target, const QRect& clip)
{
    if (!painter || target.isEmpty() || !m_valid)
        return false;
    // Rendering the SVG costs milliseconds; the picture of the last target size is kept.
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (QSizeF(target.size()) * ratio).toSize();
    auto cached = m_pictures.constFind(page);
    if (cached == m_pictures.constEnd() || cached.value().size() != pixels) {
        QSvgRenderer* svg = renderer(page);
        if (!svg)
            return false;
        QImage picture(pixels, QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        svg->render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
        p.end();
        cached = m_pictures.insert(page, picture);
    }
    const QImage& picture = cached.value();
    painter->save();
    if (!clip.isNull())
        painter->setClipRect(clip, Qt::IntersectClip);
    painter->drawImage(QRectF(target), picture);
    painter->restore();
    return true;
}

NotationMap NotationPainter::mapFromJson(const QJsonValue& json)
{
    NotationMap map;
    for (const QJsonValue& v : json.toArray()) {
        const QJsonObject e = v.toObject();
        NotationMapEntry entry;
        entry.time.start = NotationDate::fromString(e.value("s").toString());
        entry.time.end = NotationDate::fromString(e.value("e").toString());
        entry.rect = QRectF(QPointF(e.value("l").toDouble(), e.value("t").toDouble()),
                            QPointF(e.value("r").toDouble(), e.value("b").toDouble()));
        map.append(entry);
    }
    return map;
}

int NotationPainter::unitMap(bool voice, int page, int index, NotationMap& map)
{
    map.clear();
    if (!ensureCurrent())
        return m_valid ? EngineError : InvalidHandle;
    if (page < 1 || page > m_pageSizes.size()) {
        LOG_WARN(kChannel, "no page %d for a map (%d pages)", page, int(m_pageSizes.size()));
        return InvalidHandle;
    }
    const quint64 key = mapKey(voice, page, index);
    auto it = m_mapCache.constFind(key);
    if (it != m_mapCache.constEnd()) {
        map = it.value();
        return NoError;
    }
    QJsonObject args{{"gr", m_gr}, {"page", page}, {voice ? "voice" : "staff", index}};
    const NotationReply reply = NotationEngine::instance().call("maps", args);
    if (!reply.ok())
        return reply.status == NotationReply::Refused ? InvalidHandle : EngineError;
    map = mapFromJson(reply.data.value(voice ? "voiceMap" : "staffMap"));
    m_mapCache.insert(key, map);
    return NoError;
}

static int scaledMap(int rc, const QSizeF& page, const QSizeF& size, NotationMap& map)
{
    if (rc != NotationPainter::NoError || page.isEmpty())
        return rc;
    const qreal sx = size.width() / page.width();
    const qreal sy = size.height() / page.height();
    for (NotationMapEntry& e : map)
        e.rect = QRectF(e.rect.left() * sx, e.rect.top() * sy, e.rect.width() * sx, e.rect.height() * sy);
    return rc;
}

int NotationPainter::voiceMap(int page, const QSizeF& size, int voice, NotationMap& map)
{
    return scaledMap(unitMap(true, page, voice, map), pageSize(page), size, map);
}

int NotationPainter::staffMap(int page, const QSizeF& size, int staff, NotationMap& map)
{
    return scaledMap(unitMap(false, page, staff, map), pageSize(page), size, map);
}

QList<GmnEvent> NotationPainter::firstVoiceEvents()
{
    if (!m_valid)
        return {};
    const GmnReader::Result voice = GmnReader::read(m_code);
    if (!voice.ok) {
        LOG_WARN(kChannel, "GMN reader cannot read an accepted code (%s at %d): %s", qPrintable(voice.error),
                 voice.errorOffset, qPrintable(m_code));
        return {};
    }
    NotationMap map;
    if (voiceMap(1, pageSize(1), 1, map) != NoError)
        return voice.events;
    const QList<GmnEvent> mapped = GmnReader::mappedEvents(voice.events);
    // The map covers page 1 only, so the reader may know more events, never fewer.
    bool same = mapped.size() >= map.size();
    for (int i = 0; same && i < map.size(); ++i)
        same = mapped[i].start == map[i].time.start && mapped[i].end == map[i].time.end;
    if (same)
        return voice.events;

    QList<GmnEvent> ordered;
    if (GmnReader::orderLikeMap(voice.events, map, ordered))
        return ordered;

    // The engine cut some value in a way the reader does not know: take its cuts from the map.
    QList<GmnEvent> cut;
    const GmnReader::Result written = GmnReader::readWritten(m_code);
    // The score asks for the events more than once per code; one log line each is enough.
    const bool log = m_eventsLoggedFor != m_code;
    m_eventsLoggedFor = m_code;
    if (written.ok && GmnReader::cutLikeMap(written.events, map, voice.events, cut)) {
        if (log)
            LOG_INFO(kChannel, "GMN reader's cuts taken from the engine's voice map: %s", qPrintable(m_code));
        return cut;
    }
    if (log)
        LOG_WARN(kChannel, "GMN reader and engine disagree on event times (%d read, %d mapped): %s",
                 int(mapped.size()), int(map.size()), qPrintable(m_code));
    return voice.events;
}
