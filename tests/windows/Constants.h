// Platform constants by name, from the stand-in layer and from the system headers;
// the two lists are made from the same Constants.inc, in the same order.
#pragma once

#include <vector>

namespace wqtrans::windows_tests {

struct NamedConstant {
    const char* name;
    long long value;
};

const std::vector<NamedConstant>& StandInConstants();
const std::vector<NamedConstant>& SystemConstants();

} // namespace wqtrans::windows_tests
