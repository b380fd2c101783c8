// The constants as the stand-in platform layer defines them, compiled for Windows so
// that the Wine host can hold them against the system's own.
#include "platform/posix/Win32.h"

#include "tests/windows/Constants.h"

namespace wqtrans::windows_tests {

const std::vector<NamedConstant>& StandInConstants() {
    static const std::vector<NamedConstant> constants = {
#define WQ_CONSTANT(name) {#name, static_cast<long long>(name)},
#include "tests/windows/Constants.inc"
#undef WQ_CONSTANT
    };
    return constants;
}

} // namespace wqtrans::windows_tests
