// The constants as the system headers define them.
#include "platform/Platform.h"

#include "tests/windows/Constants.h"

namespace wqtrans::windows_tests {

const std::vector<NamedConstant>& SystemConstants() {
    static const std::vector<NamedConstant> constants = {
#define WQ_CONSTANT(name) {#name, static_cast<long long>(name)},
#include "tests/windows/Constants.inc"
#undef WQ_CONSTANT
    };
    return constants;
}

} // namespace wqtrans::windows_tests
