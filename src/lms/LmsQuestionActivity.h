#pragma once

#include "lms/LmsActivityElement.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QVariant>

class LmsQuestion;
class LmsQuestionAssociation;
class LmsQuestionFilter;

// An activity that holds question templates by type, numbered questions and associations
// naming where its questions are drawn from. Exercises and tests derive from it.
class LmsQuestionActivity : public LmsActivityElement {
public:
    // One template per question type, in ascending type order. Owns its templates.
    class TemplateMap {
    public:
        explicit TemplateMap(LmsQuestionActivity* parent) : mp_parent(parent) {}
        ~TemplateMap();
        TemplateMap(const TemplateMap&) = delete;
        TemplateMap& operator=(const TemplateMap&) = delete;

        // Makes the question the template of its type, replacing (and deleting) an earlier one.
        void insert(LmsQuestion* question);
        bool contains(const QString& type) const { return m_templates.contains(type); }
        bool contains(LmsQuestion* question) const;
        LmsQuestion* getQuestion(const QString& type) const { return m_templates.value(type, nullptr); }
        LmsQuestion* getQuestion(int index) const;
        QList<LmsQuestion*> getQuestions() const { return m_templates.values(); }
        QStringList getTypes() const { return m_templates.keys(); }
        int getCount() const { return m_templates.size(); }
        int getIndexOf(LmsQuestion* question) const;
        LmsQuestion* take(const QString& type);
        LmsQuestion* take(LmsQuestion* question);
        void remove(const QString& type);
        void remove(LmsQuestion* question);
        void clear();

    private:
        LmsQuestionActivity* mp_parent;
        QMap<QString, LmsQuestion*> m_templates;
    };

    // The activity's numbered questions, in order. Owns its questions and remembers when
    // each was last selected (in memory only).
    class QuestionList {
    public:
        explicit QuestionList(LmsQuestionActivity* parent);
        ~QuestionList();
        QuestionList(const QuestionList& other) = delete;
        QuestionList& operator=(const QuestionList&) = delete;

        // Appends with the next free uid (an earlier uid is never kept).
        LmsQuestion* append(LmsQuestion* question);
        // A new question of the first known question type; null when no type is known.
        LmsQuestion* append();
        bool contains(LmsQuestion* question) const { return m_members.contains(question); }
        LmsQuestion* getQuestion(int index) const;
        const QList<LmsQuestion*>& getQuestions() const { return m_questions; }
        int getCount() const { return m_questions.size(); }
        int getIndexOf(LmsQuestion* question) const { return m_questions.indexOf(question); }
        int getNextUid() const;
        LmsQuestion* take(LmsQuestion* question);
        LmsQuestion* take(int index);
        void remove(LmsQuestion* question);
        void remove(int index);
        void clear();

        int getMatchesCount(const LmsQuestionFilter* filter) const;
        QList<LmsQuestion*> getAllMatchedQuestions(const LmsQuestionFilter* filter) const;
        // Up to the filter's count of matching questions: never chosen first, then least
        // recently chosen, ties (never chosen, or chosen in one call) broken by a random key.
        // Stamps each chosen one as used now.
        QList<LmsQuestion*> selectQuestions(const LmsQuestionFilter* filter);
        // When the question was last selected; null when never.
        QDateTime getLastUsed(LmsQuestion* question) const;

    private:
        struct Usage {
            QDateTime time;
            quint64 selection = 0;  // numbers the calls, so equal clock readings still order
        };

        void added(LmsQuestion* question);

        LmsQuestionActivity* mp_parent;
        QList<LmsQuestion*> m_questions;
        // Appending stays constant time for activities of many thousand questions: membership by
        // hash, and the largest uid kept (uids are given by append only), found again after the
        // question holding it leaves.
        QSet<const LmsQuestion*> m_members;
        mutable int m_largestUid = -1;
        mutable bool m_largestUidKnown = true;
        QMap<LmsQuestion*, Usage> m_lastUsed;
        quint64 m_selections = 0;
    };

    // Owns its associations (and through them their filters).
    class AssociationList {
    public:
        explicit AssociationList(LmsQuestionActivity* parent) : mp_parent(parent) {}
        explicit AssociationList(const AssociationList* other);
        ~AssociationList();
        AssociationList(const AssociationList&) = delete;
        AssociationList& operator=(const AssociationList&) = delete;

        LmsQuestionActivity* getParent() const { return mp_parent; }
        LmsQuestionAssociation* append();
        LmsQuestionAssociation* append(LmsQuestionAssociation* association);
        LmsQuestionAssociation* getAssociation(int index) const;
        const QList<LmsQuestionAssociation*>& getAssociations() const { return m_associations; }
        int getCount() const { return m_associations.size(); }
        int getIndexOf(LmsQuestionAssociation* association) const { return m_associations.indexOf(association); }
        LmsQuestionAssociation* take(int index);
        LmsQuestionAssociation* take(LmsQuestionAssociation* association);
        void remove(int index);
        void remove(LmsQuestionAssociation* association);
        void clear();
        // Copies of the other list's associations; never pass this list itself.
        void assign(const AssociationList& other);
        void move(int from, int to);

    private:
        LmsQuestionActivity* mp_parent;
        QList<LmsQuestionAssociation*> m_associations;
    };

    LmsQuestionActivity();
    LmsQuestionActivity(const QString& name, const QString& fsName, LmsModuleElement* parent);
    ~LmsQuestionActivity() override;

    const QString& getIntroText() const { return m_introText; }
    void setIntroText(const QString& text);
    const QString& getIntroGraphicPath() const { return m_introGraphicPath; }
    // Stores the path in the element's relative form ("common:..." or relative to its directory).
    void setIntroGraphicPath(const QString& path);

    TemplateMap& getTemplateMap() { return *mp_templates; }
    const TemplateMap& getTemplateMap() const { return *mp_templates; }
    QuestionList& getQuestionList() { return *mp_questions; }
    const QuestionList& getQuestionList() const { return *mp_questions; }
    AssociationList& getAssociationList() { return *mp_associations; }
    const AssociationList& getAssociationList() const { return *mp_associations; }
    QuestionList getQuestionList(LmsQuestionFilter* filter);

    LmsQuestion* getTemplate(const QString& type) const { return mp_templates->getQuestion(type); }
    bool hasDefaultValue(const QString& type, const QString& key) const;
    QVariant getDefaultValue(const QString& type, const QString& key) const;
    bool hasDefaultTagList(const QString& type) const;
    QStringList getDefaultTagList(const QString& type) const;

    void setQuestionAsTemplate(LmsQuestion* question);
    void clearQuestionSet();
    void assignQestionSet(const LmsQuestionActivity* other);
    LmsQuestion* appendQuestion();
    LmsQuestion* takeQuestion(LmsQuestion* question);
    void removeQuestion(LmsQuestion* question);

    void clearAssociationList();
    void assignAssociationList(const AssociationList& list);
    LmsQuestionAssociation* appendQuestionAssociation();
    void removeQuestionAssociation(LmsQuestionAssociation* association);
    void moveAssociation(int from, int to);

    // The question activity at a display-name path below the parent module, or null.
    LmsQuestionActivity* getSibling(const QString& path) const;

    int getMatchesCount(const LmsQuestionFilter* filter) const;
    QList<LmsQuestion*> getAllMatchedQuestions(const LmsQuestionFilter* filter) const;
    QList<LmsQuestion*> selectQuestions(const LmsQuestionFilter* filter);

private:
    QString m_introText;
    QString m_introGraphicPath;
    TemplateMap* mp_templates;
    QuestionList* mp_questions;
    AssociationList* mp_associations;
};
