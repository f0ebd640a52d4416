#pragma once

#include <QObject>
#include <QString>

class LmsCourse;
class LmsModuleElement;

// Any node of the course tree. Ownership runs only through the modules' element lists:
// an element is created without a QObject parent and deleted by its module.
class LmsElement : public QObject {
    Q_OBJECT
public:
    enum ElementType { ElementTypeModule = 0, ElementTypeActivity = 1 };

    // Run-time state the learner records attach; the tree never looks inside it.
    class State {
    public:
        virtual ~State() = default;
    };

    LmsElement(const QString& name, const QString& fsName, LmsModuleElement* parent);
    ~LmsElement() override;

    virtual int getElementType() const = 0;
    virtual bool hasDependencies() const;
    virtual void setModified(bool modified);
    virtual QString getFsPath(bool relative) const;

    const QString& getName() const { return m_name; }
    void setName(const QString& name);
    const QString& getFsName() const { return m_fsName; }
    void setFsName(const QString& fsName) { m_fsName = fsName; }

    LmsModuleElement* getParentModule() { return mp_parent; }
    const LmsModuleElement* getParentModule() const { return mp_parent; }

    // Not owned: the learner records install and keep it.
    // The element owns its current state object and deletes it with itself.
    State* getState() const { return mp_state; }
    void setState(State* state) { mp_state = state; }

    bool isModified() const { return m_modified; }

    QString getFsRelativePath() const { return getFsPath(true); }
    QString getFsAbsolutePath() const { return getFsPath(false); }

    QString getNormalizedElementName() const;
    QString getNormalizedElementPath() const;

    QString getCoursePath() const;
    LmsCourse* getCourse() const;

    // "common:<path>" for files below the course's common directory, else relative to
    // the element's directory.
    QString getRelativeFilePath(const QString& path) const;
    QString getAbsoluteFilePath(const QString& path) const;

    // Display names from below stop (or the course) down to this element, joined by " / ".
    QString getRelativePath(const LmsModuleElement* stop) const;
    QString getPath() const { return getRelativePath(nullptr); }

    void emitChanged();

signals:
    void changed();

private:
    QString commonDirectory() const;

    QString m_name;
    QString m_fsName;
    LmsModuleElement* mp_parent = nullptr;
    State* mp_state = nullptr;
    bool m_modified = false;
};
