#include "Platform.h"

namespace wqtrans::crt {

namespace {
// Per thread, as in the platform's multithreaded C runtime: a thread starts at 1.
thread_local uint32_t state = 1;
} // namespace

int rand() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

void srand(unsigned int seed) { state = seed; }

} // namespace wqtrans::crt
