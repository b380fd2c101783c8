// A clock driven by the test: while a TestClock lives, timeGetTime returns its value.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace wqtrans::test {

class TestClock {
public:
    explicit TestClock(uint32_t start = 0) : value(start) { platform::SetTimeSource(&Read, this); }
    ~TestClock() { platform::SetTimeSource(nullptr, nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    void Set(uint32_t ms) { value = ms; }
    void Advance(uint32_t ms) { value += ms; }
    uint32_t Now() const { return value; }

private:
    static uint32_t Read(void* context) { return static_cast<TestClock*>(context)->value; }
    uint32_t value;
};

} // namespace wqtrans::test
