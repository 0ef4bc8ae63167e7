#pragma once

// Names each case of a TEST_P table after its `name` field, so that the
// output says which case ran or failed: "DiskText/Table.Line/full_disk".

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace headroom::test {

struct CaseName {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const
    {
        std::string name = info.param.name;
        std::replace_if(
            name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
        return name;
    }
};

} // namespace headroom::test
