#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

class LmsQuestionActivity;
class LmsQuestionFilter;

// One question (uid >= 0) or template (uid -1) of a question activity. Attribute values
// resolve through the question, the activity's template of its type and the plug-in defaults.
class LmsQuestion : public QObject {
    Q_OBJECT
public:
    explicit LmsQuestion(LmsQuestionActivity* activity = nullptr);

    int getUid() const { return m_uid; }
    void setUid(int uid);
    const QString& getType() const { return m_type; }
    void setType(const QString& type);
    int getDifficulty() const { return m_difficulty; }
    void setDifficulty(int difficulty);

    LmsQuestionActivity* getActivity() const { return mp_activity; }
    // Takes the question out of its current activity first; adds it to no container.
    void setActivity(LmsQuestionActivity* activity);

    // false: whether the question has tags of its own; true: whether its template has.
    bool hasTagList(bool inherited = true) const;
    // The own tags; without them, the template's when inherited is true.
    QStringList getTagList(bool inherited = true) const;
    bool hasDefaultTagList() const;
    QStringList getDefaultTagList() const;
    void setTagList(const QStringList& tags);
    // Split at "," (empty parts kept), each part trimmed; blank text gives one empty tag.
    void setTagList(const QString& tags);
    void unsetTagList();

    const QMap<QString, QVariant>& getAttributeMap() const { return m_attributes; }
    void setAttributeMap(const QMap<QString, QVariant>& attributes) { m_attributes = attributes; }
    bool hasAttribute(const QString& key) const { return m_attributes.contains(key); }
    void setAttribute(const QString& key, const QVariant& value);
    void clearAttributes();
    QVariant getAttribute(const QString& key, bool resolve = true) const;
    bool hasAttributeDefault(const QString& key) const;
    QVariant getAttributeDefault(const QString& key) const;
    // Every attribute the type's plug-in declares, resolved and converted by attribute type.
    QVariantMap getResolvedAttributeMap() const;

    bool matchFilter(const LmsQuestionFilter* filter) const;

    void assign(const LmsQuestion* other);
    LmsQuestion& operator=(const LmsQuestion& other);
    LmsQuestion* getCopy() const;

signals:
    void changed();
    void typeChanged();

private:
    LmsQuestionActivity* mp_activity = nullptr;
    QString m_type;
    int m_uid = -1;
    bool m_hasOwnTags = false;
    QStringList m_tags;
    int m_difficulty = 5;
    QMap<QString, QVariant> m_attributes;
};
