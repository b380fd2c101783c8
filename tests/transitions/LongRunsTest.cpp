// Long runs: every transition's picture moves forward for runs of up to 2^32 - 1 ms,
// on frames as wide as 16384 pixels, where a size times the elapsed time no longer
// fits in 32 bits. Each run is sampled at 50 moments from its start to its end; its
// progress must never go backwards, and must follow the course of the same run at an
// ordinary duration, where no product comes near 2^32.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host/SoftwareSurface.h"
#include "module/ParamBlock.h"
#include "module/Registry.h"
#include "platform/Platform.h"
#include "support/RecordingSurface.h"
#include "support/TestClock.h"
#include "transitions/Progress.h"

namespace wqtrans {
namespace {

using test::CallLog;
using test::RecordingSurface;
using test::TestClock;

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kMoments = 50;
// An ordinary run: twice 16384 times this stays below 2^32.
constexpr uint32_t kOrdinaryMs = 100000;
// How far a long run may stray from the ordinary one, as a share of the whole way:
// the moments of the two runs fall on slightly different fractions of their runs.
constexpr double kTolerance = 0.005;

// What tells how far a run has come, from 0 at its start to about 1 at its end.
enum class Measure {
    // The share of the new picture (white) in the destination (black at the start),
    // a blend counted by its grey level.
    kNewShare,
    // Zoom 2 shows one frame only: the width of the part of it shown.
    kShownWidth,
    // Turn 2: how far the old frame stands from its place, whichever way it turns.
    kOffset,
    // Stretch 2: the width the old frame has lost in the first half, then the whole
    // width plus the new frame's width in the second, over twice the width.
    kDoubledWidth,
};

struct Subject {
    const char* name;
    int32_t index;
    Measure measure = Measure::kNewShare;
    std::optional<int32_t> firstWord = std::nullopt; // replaces the block's first word
    bool extended = false;                           // Fade's StepEx instead of Step
};

struct Size {
    int32_t width;
    int32_t height;
    uint32_t duration;
};

struct Row {
    Subject subject;
    Size size;
};

// One cell per pixel for Mosaic and Zigzag, so that a frame 8 high has a grid.
const Subject kSubjects[] = {
    {"Fade", 0},
    {"FadeExtended", 0, Measure::kNewShare, std::nullopt, true},
    {"Bands", 1},
    {"Door", 2},
    {"Mosaic", 3, Measure::kNewShare, 0},
    {"Scrolling", 4},
    {"Zigzag", 5, Measure::kNewShare, 0},
    {"Zoom", 6},
    {"AdvancedScrolling", 7},
    {"Back", 8},
    {"Cell", 9},
    {"Line", 10},
    {"Open", 11},
    {"Push", 12},
    {"Square", 13},
    {"Stretch", 14},
    {"Stretch2", 15, Measure::kDoubledWidth},
    {"Trame", 16},
    {"Turn", 17},
    {"Turn2", 18, Measure::kOffset},
    {"ZigZag2", 19},
    {"Zoom2", 20, Measure::kShownWidth},
};

// Ten minutes across 16384 pixels; 2^31 - 1 ms; and 2^32 - 1 ms, the longest run.
const Size kLongRuns[] = {
    {16384, 8, 600000},
    {640, 8, 0x7FFFFFFFu},
    {640, 8, 0xFFFFFFFFu},
};

std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (const Subject& subject : kSubjects) {
        for (const Size& size : kLongRuns) {
            rows.push_back({subject, size});
        }
    }
    // A day and more on a frame of ordinary size.
    rows.push_back({kSubjects[0], {640, 480, 100000000}});
    rows.push_back({kSubjects[5], {640, 480, 100000000}});
    rows.push_back({kSubjects[7], {640, 480, 100000000}});
    return rows;
}

// The numbers after "(dest, " in a logged call.
std::vector<long long> Arguments(const std::string& line) {
    std::vector<long long> values;
    const std::size_t open = line.find("(dest, ");
    if (open == std::string::npos) {
        return values;
    }
    const char* p = line.c_str() + open + 7;
    char* end = nullptr;
    for (long long v = std::strtoll(p, &end, 0); end != p; v = std::strtoll(p, &end, 0)) {
        values.push_back(v);
        p = end;
        while (*p == ',' || *p == ' ') {
            ++p;
        }
    }
    return values;
}

// The last logged call that starts with `call`, or nothing.
std::optional<std::vector<long long>> LastCall(const CallLog& log, const std::string& call) {
    for (auto line = log.lines.rbegin(); line != log.lines.rend(); ++line) {
        if (line->rfind(call, 0) == 0) {
            return Arguments(*line);
        }
    }
    return std::nullopt;
}

// How far the run has come after one step; `previous` where the step drew nothing
// that tells.
double Measured(Measure measure, SoftwareSurface& picture, const CallLog& log, double previous) {
    const double w = picture.Width();
    switch (measure) {
    case Measure::kNewShare: {
        const uint32_t* pixels = picture.Pixels();
        const std::size_t count = static_cast<std::size_t>(picture.Width()) * picture.Height();
        uint64_t sum = 0;
        for (std::size_t i = 0; i < count; ++i) {
            sum += pixels[i] & 0xFF;
        }
        return static_cast<double>(sum) / (255.0 * static_cast<double>(count));
    }
    case Measure::kShownWidth: {
        const auto call = LastCall(log, "old.StretchRect(");
        return call ? static_cast<double>((*call)[6]) / w : previous;
    }
    case Measure::kOffset: {
        const auto call = LastCall(log, "old.CopyRect(");
        return call ? std::hypot(static_cast<double>((*call)[0]), static_cast<double>((*call)[1])) / w : previous;
    }
    case Measure::kDoubledWidth: {
        if (const auto shrinking = LastCall(log, "old.StretchAll(")) {
            return (w - static_cast<double>((*shrinking)[2])) / (2 * w);
        }
        if (const auto growing = LastCall(log, "new.StretchAll(")) {
            return (w + static_cast<double>((*growing)[2])) / (2 * w);
        }
        return previous;
    }
    }
    return previous;
}

// Moment k of kMoments, from 0 to d.
uint32_t Moment(uint32_t d, uint32_t k) { return static_cast<uint32_t>(uint64_t{d} * k / (kMoments - 1)); }

// The progress of a run of `d` ms at each moment, black to white.
std::vector<double> Course(const Row& row, uint32_t d) {
    const Subject& s = row.subject;
    TestClock clock(0);
    std::unique_ptr<Transition> t(RegistryTable()[s.index].make());
    if (s.firstWord) {
        uint8_t block[kMaxBlockSize] = {};
        const int32_t size = t->GetParams(block);
        std::memcpy(block, &*s.firstWord, sizeof(int32_t));
        t->SetParams(block, static_cast<uint32_t>(size));
    }
    SoftwareSurface destPixels(row.size.width, row.size.height, kBlack);
    SoftwareSurface oldPixels(row.size.width, row.size.height, kBlack);
    SoftwareSurface newPixels(row.size.width, row.size.height, kWhite);
    // The calls are recorded only where the measure reads them: a frame 16384 wide
    // swept cell by cell or pixel by pixel makes some hundred thousand calls.
    const bool recorded = s.measure != Measure::kNewShare;
    CallLog log;
    RecordingSurface destLog("dest", log, &destPixels);
    RecordingSurface oldLog("old", log, &oldPixels);
    RecordingSurface newLog("new", log, &newPixels);
    HostSurface* dest = recorded ? static_cast<HostSurface*>(&destLog) : &destPixels;
    HostSurface* oldFrame = recorded ? static_cast<HostSurface*>(&oldLog) : &oldPixels;
    HostSurface* newFrame = recorded ? static_cast<HostSurface*>(&newLog) : &newPixels;

    crt::srand(1);
    t->Begin(d);
    std::vector<double> course;
    double progress = 0.0;
    for (uint32_t k = 0; k < kMoments; ++k) {
        clock.Set(Moment(d, k));
        log.Clear();
        const int32_t drawn = s.extended ? t->StepEx(dest, 0, 0, oldFrame, newFrame, 0, 0, 0, 0, 0, 0)
                                         : t->Step(dest, oldFrame, newFrame, 0, nullptr);
        EXPECT_EQ(drawn, 1) << "at " << Moment(d, k) << " of " << d << " ms";
        progress = Measured(s.measure, destPixels, log, progress);
        course.push_back(progress);
    }
    t->End();
    return course;
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.subject.name << " at " << row.size.width << " x " << row.size.height << " over " << row.size.duration
         << " ms";
}

class LongRuns : public ::testing::TestWithParam<Row> {};

TEST_P(LongRuns, MoveForwardAsAnOrdinaryRunDoes) {
    const Row& row = GetParam();
    const std::vector<double> course = Course(row, row.size.duration);
    const std::vector<double> ordinary = Course(row, kOrdinaryMs);
    ASSERT_EQ(course.size(), kMoments);
    ASSERT_EQ(ordinary.size(), kMoments);
    for (uint32_t k = 1; k < kMoments; ++k) {
        const std::string at = "at moment " + std::to_string(k) + ", " + std::to_string(Moment(row.size.duration, k)) +
                               " of " + std::to_string(row.size.duration) + " ms";
        ASSERT_GE(course[k], course[k - 1]) << "went back " << at;
        ASSERT_NEAR(course[k], ordinary[k], kTolerance) << "strayed " << at;
    }
    EXPECT_GT(course.back(), 0.9);
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    const Row& row = info.param;
    return std::string(row.subject.name) + "_" + std::to_string(row.size.width) + "x" +
           std::to_string(row.size.height) + "_" + std::to_string(row.size.duration) + "ms";
}

INSTANTIATE_TEST_SUITE_P(AllTransitions, LongRuns, ::testing::ValuesIn(Rows()), RowName);

// The long runs that showed the wrap, worked out by hand: one step at a moment late
// enough for size x e to pass 2^32, on a fresh run.
TEST(LongRunExamples, StepAsWorkedOutByHand) {
    struct Worked {
        int32_t index;
        int32_t width;
        int32_t height;
        uint32_t duration;
        uint32_t e;
        std::vector<std::string> calls;
    };
    const Worked cases[] = {
        // Fade over a day and more: blend parameters 32, 64 and 96 at a quarter, a half
        // and three quarters.
        {0,
         640,
         480,
         100000000,
         25000000,
         {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 0, 1, 32, 0)"}},
        {0,
         640,
         480,
         100000000,
         50000000,
         {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 0, 1, 64, 0)"}},
        {0,
         640,
         480,
         100000000,
         75000000,
         {"dest.IsReady()", "new.CopyAll(dest)", "old.DrawAt(dest, 0, 0, 0, 1, 96, 0)"}},
        // Half of the same run: the new frame half in, and half its size.
        {4,
         640,
         480,
         100000000,
         50000000,
         {"dest.IsReady()", "new.CopyRect(dest, -320, 0, 0, 0, 640, 480, 0, 0, 0, 2)"}},
        {6,
         640,
         480,
         100000000,
         50000000,
         {"dest.IsReady()", "old.CopyAll(dest)",
          "new.StretchRect(dest, 160, 120, 320, 240, 0, 0, 640, 480, 0, 0, 0, 0)"}},
        // 90% of ten minutes across 16384 pixels: 14745 of them (7372 for each door).
        {4, 16384, 8, 600000, 540000, {"dest.IsReady()", "new.CopyRect(dest, -1639, 0, 0, 0, 16384, 8, 0, 0, 0, 2)"}},
        {2,
         16384,
         8,
         600000,
         540000,
         {"dest.IsReady()", "new.CopyRect(dest, 820, 0, 820, 0, 7372, 8, 0, 0, 0, 2)",
          "new.CopyRect(dest, 8192, 0, 8192, 0, 7372, 8, 0, 0, 0, 2)"}},
        {10,
         16384,
         8,
         600000,
         540000,
         {"dest.IsReady()", "new.CopyRect(dest, 0, 0, 0, 0, 14745, 5, 0, 0, 0, 2)",
          "new.CopyRect(dest, 1639, 4, 1639, 4, 14745, 8, 0, 0, 0, 2)"}},
    };
    for (const Worked& c : cases) {
        SCOPED_TRACE("transition " + std::to_string(c.index) + " at " + std::to_string(c.e) + " of " +
                     std::to_string(c.duration) + " ms");
        TestClock clock(0);
        CallLog log;
        RecordingSurface dest("dest", log, c.width, c.height);
        RecordingSurface oldFrame("old", log, c.width, c.height);
        RecordingSurface newFrame("new", log, c.width, c.height);
        std::unique_ptr<Transition> t(RegistryTable()[c.index].make());
        t->Begin(c.duration);
        clock.Set(c.e);
        EXPECT_EQ(t->Step(&dest, &oldFrame, &newFrame, 0, nullptr), 1);
        EXPECT_CALLS(log, c.calls);
    }
}

// The shared progress helper, with values worked out by hand.
TEST(Progress, TakesTheProductWide) {
    struct Case {
        uint32_t size;
        uint32_t e;
        uint32_t d;
        uint32_t expected;
    };
    const Case cases[] = {
        {640, 250, 1000, 160},                // small: as the 32-bit product
        {16384, 540000, 600000, 14745},       // 16384 x 540000 passes 2^32
        {128, 75000000, 100000000, 96},       // a blend level three quarters through a day
        {640, 0xFFFFFFFFu, 0xFFFFFFFFu, 640}, // the end of the longest run
        {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFFFFFEu},
        {16384, 0, 0xFFFFFFFFu, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Progress(c.size, c.e, c.d), c.expected) << c.size << " x " << c.e << " / " << c.d;
    }
}

} // namespace
} // namespace wqtrans
