#pragma once

#include <string>

namespace velmora::testing {

// Names each row of a parameterised table after its `name` member.
struct CaseName {
    template <class TestParamInfo>
    std::string operator()(const TestParamInfo& testCase) const {
        return testCase.param.name;
    }
};

}  // namespace velmora::testing
