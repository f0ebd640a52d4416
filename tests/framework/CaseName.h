#pragma once

#include <gtest/gtest.h>

#include <string>

// Names each table-driven case after its "name" member (the case struct prints itself the same way).
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};
