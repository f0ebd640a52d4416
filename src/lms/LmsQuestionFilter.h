#pragma once

#include <QString>
#include <QStringList>

// Which questions an association or the practice screen wants: one uid, or a type,
// a difficulty and tags with a count.
class LmsQuestionFilter {
public:
    LmsQuestionFilter() = default;
    virtual ~LmsQuestionFilter() = default;

    int getUid() const { return m_uid; }
    void setUid(int uid) { m_uid = uid; }
    const QString& getType() const { return m_type; }
    void setType(const QString& type) { m_type = type; }
    const QStringList& getTagList() const { return m_tags; }
    void setTagList(const QStringList& tags) { m_tags = tags; }
    // Blank text gives no tag; otherwise split at "," (empty parts kept), each part trimmed.
    void setTagList(const QString& tags);
    int getDifficulty() const { return m_difficulty; }
    void setDifficulty(int difficulty) { m_difficulty = difficulty; }
    // 1 when the filter names a uid, else the count.
    // The most questions one association may ask for: a run is made of every one of them, so a
    // larger count in a course file is refused at load.
    static constexpr int MaxCount = 1000;
    // The most questions all associations of one activity may ask for together; at load, those
    // beyond it are left out (the association that crosses it keeps what still fits).
    static constexpr int MaxActivityCount = 1000;

    int getCount() const { return m_uid >= 0 ? 1 : m_count; }
    void setCount(int count) { m_count = count; }

    void assign(const LmsQuestionFilter* other);
    LmsQuestionFilter* getCopy() const;

private:
    int m_uid = -1;
    QString m_type;
    QStringList m_tags;
    int m_difficulty = 5;
    int m_count = 0;
};
