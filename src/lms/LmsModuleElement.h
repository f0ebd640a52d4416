#pragma once

#include "lms/LmsElement.h"

#include <QList>

// A node with ordered children: the course, a grade or a subject. Owns its children.
class LmsModuleElement : public LmsElement {
    Q_OBJECT
public:
    LmsModuleElement(const QString& name, const QString& fsName, LmsModuleElement* parent);
    ~LmsModuleElement() override;

    int getElementType() const override { return ElementTypeModule; }
    bool hasDependencies() const override { return !m_elements.isEmpty(); }
    void setModified(bool modified) override;

    QList<LmsElement*>& getElementList() { return m_elements; }
    const QList<LmsElement*>& getElementList() const { return m_elements; }

    const QString& getEnabledIconPath() const { return m_enabledIconPath; }
    void setEnabledIconPath(const QString& path);
    const QString& getDisabledIconPath() const { return m_disabledIconPath; }
    void setDisabledIconPath(const QString& path);

    // 1 for the course, 2 for a grade, 3 for a subject.
    int getDepth() const;

    // The target names the position before which the element goes, in the list as it was.
    void moveElement(int from, int to);
    void removeElement(int index);

    void emitElementChanged(LmsElement* element);

    // Resolves a display-name path ("A / B" or "A/B") downwards; null when nothing matches.
    LmsElement* getElement(const QString& path) const;
    QString getElementRelativePath(LmsElement* element) const;

signals:
    void elementChanged(int index);

private:
    QString m_enabledIconPath;
    QString m_disabledIconPath;
    QList<LmsElement*> m_elements;
};
