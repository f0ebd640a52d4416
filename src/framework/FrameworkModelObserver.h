#pragma once

namespace edufrmwk {

class FrameworkModel;

// Told about the framework model's changes whose flags it asked for.
class FrameworkModelObserver {
public:
    FrameworkModelObserver(const char* name, unsigned int flags);
    virtual ~FrameworkModelObserver();
    FrameworkModelObserver(const FrameworkModelObserver&) = delete;
    FrameworkModelObserver& operator=(const FrameworkModelObserver&) = delete;

    virtual void frameworkModelChanged(FrameworkModel* model, unsigned int flag) = 0;

    const char* getName() const { return mp_name; }
    const unsigned int& getFlags() const { return m_flags; }

private:
    char* mp_name;
    unsigned int m_flags;
};

}  // namespace edufrmwk
