#include "platform/Platform.h"

namespace wqtrans::platform {

// The module reads the system's multimedia timer directly on Windows; a replacement
// time source has nothing to replace here.
void SetTimeSource(TimeSource, void*) {}

} // namespace wqtrans::platform
