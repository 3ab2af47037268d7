#pragma once

#include <gtest/gtest.h>

#include <string>

namespace orblane::test {

// Names a parameterised case after its own `name` field. GoogleTest's default name prints the case's bytes, pointers
// included, which need not be the same when CTest lists the tests and when it runs them.
struct ByCaseName
{
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case>& row) const
    {
        return std::string(row.param.name);
    }
};

} // namespace orblane::test
