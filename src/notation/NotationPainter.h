#pragma once

#include "notation/GmnEvent.h"
#include "notation/NotationDate.h"
#include "notation/NotationLayoutSettings.h"
#include "notation/NotationMapEntry.h"
#include "notation/NotationPageFormat.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QRect>
#include <QSizeF>
#include <QString>

#include <memory>

class QPainter;
class QSvgRenderer;

// A GMN score laid out by the notation engine, drawn from the engine's SVG of each page through
// QtSvg with the notation font. Holds the engine's handles for its code; when the engine host was
// restarted since, the code is laid out again on the next use, so no stale handle is ever sent.
// GUI thread only, like the engine client.
class NotationPainter {
public:
    enum ErrorCode { NoError = 0, ParseError = -1, EngineError = -2, InvalidHandle = -8 };

    NotationPainter();
    ~NotationPainter();
    NotationPainter(const NotationPainter&) = delete;
    NotationPainter& operator=(const NotationPainter&) = delete;

    bool setGMNCode(const QString& code, const QString& fileNameHint = QString());
    bool setGMNFile(const QString& fileName);
    QString gmnCode() const { return m_code; }
    QString fileName() const { return m_fileName; }
    bool isGMNValid() const { return m_valid; }
    QString getLastErrorMessage() const { return m_lastError; }
    // Line and column of the last parse error (-1 when none); returns the last error code.
    int getLastParseErrorLine(int& line, int& column) const;

    void setGuidoLayoutSettings(const NotationLayoutSettings& settings);
    NotationLayoutSettings guidoLayoutSettings() const { return m_settings; }
    void setGuidoPageFormat(const NotationPageFormat& format);
    NotationPageFormat guidoPageFormat() const { return m_pageFormat; }
    void setSystemsDistance(float distance);
    float getSystemsDistance() const { return m_settings.systemsDistance; }
    void setResizePageToMusic(bool on);
    bool isResizePageToMusic() const { return m_resizeToMusic; }
    // The colour of the whole score; black draws the engine's own colours (coloured notes stay).
    void setScoreColor(const QColor& color);
    QColor getScoreColor() const { return m_color; }

    int pageCount() const { return m_valid ? m_pageSizes.size() : 0; }
    // Page size in engine units and in millimetres; empty for a page that does not exist.
    QSizeF pageSize(int page) const;
    QSizeF pageSizeMM(int page) const;
    // The engine's date of the end of the music; invalid when not laid out.
    NotationDate duration() const { return m_valid ? m_duration : NotationDate(0, 0); }

    // Draws a page into the target, keeping the page's aspect ratio (centred). False when not drawn.
    bool draw(QPainter* painter, int page, const QRect& target, const QRect& clip = QRect());
    // The engine's SVG of a page (without the embedded font); empty when there is none.
    QByteArray pageSvg(int page);

    // Maps of a page in the coordinates of a page of the given size; 0 or an ErrorCode.
    int voiceMap(int page, const QSizeF& size, int voice, NotationMap& map);
    int staffMap(int page, const QSizeF& size, int staff, NotationMap& map);

    // The first voice's events read from the code, checked against the engine's voice map of page 1
    // (a difference is logged as a warning, once per code). Empty when the code is not valid.
    QList<GmnEvent> firstVoiceEvents();

private:
    bool layOut();          // parse and lay out m_code
    bool relayout();        // lay out again after a settings or format change
    bool ensureCurrent();   // re-create handles lost with a restarted host
    void refetch(const QList<int>& pages);
    void release();
    void applyLayoutReply(const QJsonObject& data);
    // Maps are kept in page units and scaled to the size asked for (they are linear in it).
    int unitMap(bool voice, int page, int index, NotationMap& map);
    static NotationMap mapFromJson(const QJsonValue& json);
    static quint64 mapKey(bool voice, int page, int index)
    {
        return (quint64(voice) << 62) | (quint64(page) << 31) | quint64(index);
    }
    QSvgRenderer* renderer(int page);

    QString m_code;
    QString m_eventsLoggedFor;  // the code whose events' difference from the map was logged
    QString m_fileName;
    bool m_valid = false;
    QString m_lastError;
    int m_lastErrorCode = NoError;
    int m_errorLine = -1;
    int m_errorColumn = -1;

    NotationLayoutSettings m_settings;
    NotationPageFormat m_pageFormat;
    bool m_resizeToMusic = false;
    QColor m_color = Qt::black;

    qint64 m_ar = 0;
    qint64 m_gr = 0;
    quint64 m_generation = 0;
    QList<QSizeF> m_pageSizes;  // engine units, page 1 first
    NotationDate m_duration;
    QHash<int, QByteArray> m_svgCache;
    QHash<quint64, NotationMap> m_mapCache;
    QHash<int, std::shared_ptr<QSvgRenderer>> m_renderers;
    // The last picture drawn of each page, reused while the target size stays the same.
    QHash<int, QImage> m_pictures;
};
