#pragma once

#include "lms/LmsModuleElement.h"

// The root of the course tree, read from and written to a course directory.
class LmsCourse : public LmsModuleElement {
    Q_OBJECT
public:
    enum Status { StatusOk = 0, StatusFailed = 1, StatusAlreadyLoaded = 4 };

    explicit LmsCourse(const QString& name);

    void setModified(bool modified) override;
    QString getFsPath(bool relative) const override;

    // 0 loaded, 1 the loader failed, 4 the path is the one already held.
    int load(const QString& path, bool fromResource);
    // 0 saved, 1 failed (also after a failed load: saving would wipe the course directory).
    int save();

    // ":/" when loaded from the resource root, else the course path.
    const QString& getPathPrefix() const;
    bool isFromResource() const { return m_fromResource; }

    LmsElement* findElementByNormalizedPath(const QString& path);

    // Appends every element of type T below module (the course when null), depth first,
    // each element before its descendants. The start module itself is never listed.
    template <class T>
    void findElementsByType(QList<T*>& out, LmsModuleElement* module = nullptr)
    {
        LmsModuleElement* start = module ? module : this;
        for (LmsElement* element : start->getElementList()) {
            if (!element)
                continue;
            if (T* typed = dynamic_cast<T*>(element))
                out.append(typed);
            if (auto* child = dynamic_cast<LmsModuleElement*>(element))
                findElementsByType<T>(out, child);
        }
    }

signals:
    void modified();

private:
    QString m_path;
    bool m_fromResource = false;
    bool m_loadFailed = false;
};
