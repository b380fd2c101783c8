// Bands: parameters, the calls and changed-rectangle lists of its steps, whole runs
// on the reference surface, the list's lifetime and the settings panel.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "support/Frames.h"
#include "support/PanelFixture.h"
#include "support/RecordingSurface.h"
#include "support/Runs.h"
#include "support/StepFixture.h"
#include "support/TestClock.h"
#include "transitions/BandsTransition.h"

namespace wqtrans {
namespace {

using test::RecordingSurface;
using test::TestClock;

// The list handed out by a step, up to and including its zero rectangle.
std::vector<std::vector<int32_t>> ListOf(const ChangedRect* list) {
    std::vector<std::vector<int32_t>> out;
    if (list == nullptr) {
        return out;
    }
    for (;; ++list) {
        out.push_back({list->left, list->top, list->right, list->bottom});
        if (list->left == 0 && list->top == 0 && list->right == 0 && list->bottom == 0) {
            return out;
        }
    }
}

ChangedRect* const kUntouched = reinterpret_cast<ChangedRect*>(0x1000);

class BandsTest : public test::StepFixture<BandsTransition> {
protected:
    BandsTest() { Size(100, 50); }
    void Start(uint16_t count, uint16_t dir, uint32_t d) {
        t.bandCount = count;
        t.direction = dir;
        BeginRun(d);
    }
    // One step at elapsed time `e`; the log holds only this step's calls.
    int32_t StepAt(uint32_t e) {
        clock.Set(e);
        log.Clear();
        list = kUntouched;
        return t.Step(&dest, &oldFrame, &newFrame, 0, &list);
    }
    ChangedRect* list = nullptr;
};

TEST_F(BandsTest, IdentityAndParameters) {
    EXPECT_EQ(t.GetID(), 0x444E4142u);
    EXPECT_EQ(t.GetMode(), 3);
    EXPECT_EQ(t.NameId(), 1004);
    EXPECT_EQ(t.DialogId(), 102);

    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(t.GetParams(nullptr), 4);

    // The two 16-bit fields share one word: count low, direction high.
    const uint8_t block[4] = {0x88, 0x13, 0x02, 0x00};
    t.SetParams(block, 4);
    EXPECT_EQ(t.bandCount, 5000);
    EXPECT_EQ(t.direction, 2);
    EXPECT_EQ(t.GetParams(out), 4);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0x88, 0x13, 0x02, 0x00}));

    const uint8_t other[4] = {7, 0, 1, 0};
    t.SetParams(other, 3);
    t.SetParams(nullptr, 4);
    EXPECT_EQ(t.bandCount, 5000);
    EXPECT_EQ(t.direction, 2);

    std::unique_ptr<Transition> clone(t.Clone());
    auto* fresh = dynamic_cast<BandsTransition*>(clone.get());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->bandCount, 1);
    EXPECT_EQ(fresh->direction, 0);
}

TEST_F(BandsTest, ThreeBandsOnAFrameOfOneHundred) {
    // Band size (3 + 99) / 3 = 34; a 34 ms run moves one pixel per ms.
    Start(3, 0, 34);
    EXPECT_EQ(StepAt(0), 1);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(t.bandSize, 34u);

    EXPECT_EQ(StepAt(10), 1);
    EXPECT_CALLS(log, {
                          "dest.IsReady()",
                          "new.CopyRect(dest, 0, 0, 0, 0, 10, 50, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 34, 0, 34, 0, 10, 50, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 68, 0, 68, 0, 10, 50, 0, 0, 0, 2)",
                      });
    EXPECT_EQ(ListOf(list),
              (std::vector<std::vector<int32_t>>{{0, 0, 10, 50}, {34, 0, 44, 50}, {68, 0, 78, 50}, {0, 0, 0, 0}}));

    // The last band reaches x = 102, past the edge, and is listed as it is.
    EXPECT_EQ(StepAt(34), 1);
    EXPECT_CALLS(log, {
                          "dest.IsReady()",
                          "new.CopyRect(dest, 10, 0, 10, 0, 24, 50, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 44, 0, 44, 0, 24, 50, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 78, 0, 78, 0, 24, 50, 0, 0, 0, 2)",
                      });
    EXPECT_EQ(ListOf(list),
              (std::vector<std::vector<int32_t>>{{10, 0, 34, 50}, {44, 0, 68, 50}, {78, 0, 102, 50}, {0, 0, 0, 0}}));
}

TEST_F(BandsTest, FourBandsFromTenToFifteenInEachDirection) {
    struct Case {
        uint16_t direction;
        std::vector<std::string> calls;
        std::vector<std::vector<int32_t>> rects;
    };
    const Case cases[] = {
        {0,
         {"new.CopyRect(dest, 10, 0, 10, 0, 5, 100, 0, 0, 0, 2)",
          "new.CopyRect(dest, 35, 0, 35, 0, 5, 100, 0, 0, 0, 2)",
          "new.CopyRect(dest, 60, 0, 60, 0, 5, 100, 0, 0, 0, 2)",
          "new.CopyRect(dest, 85, 0, 85, 0, 5, 100, 0, 0, 0, 2)"},
         {{10, 0, 15, 100}, {35, 0, 40, 100}, {60, 0, 65, 100}, {85, 0, 90, 100}, {0, 0, 0, 0}}},
        {1,
         {"new.CopyRect(dest, 85, 0, 85, 0, 5, 100, 0, 0, 0, 2)",
          "new.CopyRect(dest, 60, 0, 60, 0, 5, 100, 0, 0, 0, 2)",
          "new.CopyRect(dest, 35, 0, 35, 0, 5, 100, 0, 0, 0, 2)",
          "new.CopyRect(dest, 10, 0, 10, 0, 5, 100, 0, 0, 0, 2)"},
         {{85, 0, 90, 100}, {60, 0, 65, 100}, {35, 0, 40, 100}, {10, 0, 15, 100}, {0, 0, 0, 0}}},
        {2,
         {"new.CopyRect(dest, 0, 10, 0, 10, 100, 5, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 35, 0, 35, 100, 5, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 60, 0, 60, 100, 5, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 85, 0, 85, 100, 5, 0, 0, 0, 2)"},
         {{0, 10, 100, 15}, {0, 35, 100, 40}, {0, 60, 100, 65}, {0, 85, 100, 90}, {0, 0, 0, 0}}},
        {3,
         {"new.CopyRect(dest, 0, 85, 0, 85, 100, 5, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 60, 0, 60, 100, 5, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 35, 0, 35, 100, 5, 0, 0, 0, 2)",
          "new.CopyRect(dest, 0, 10, 0, 10, 100, 5, 0, 0, 0, 2)"},
         {{0, 85, 100, 90}, {0, 60, 100, 65}, {0, 35, 100, 40}, {0, 10, 100, 15}, {0, 0, 0, 0}}},
    };
    oldFrame.SetSize(100, 100);
    newFrame.SetSize(100, 100);
    for (const Case& c : cases) {
        SCOPED_TRACE("direction " + std::to_string(c.direction));
        // Band size (4 + 99) / 4 = 25 and a 25 ms run: pos is e.
        Start(4, c.direction, 25);
        StepAt(10);
        EXPECT_EQ(t.drawn, 10u);
        EXPECT_EQ(StepAt(15), 1);
        std::vector<std::string> expected{"dest.IsReady()"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_CALLS(log, expected);
        EXPECT_EQ(ListOf(list), c.rects);
        EXPECT_EQ(t.drawn, 15u);
    }
}

TEST_F(BandsTest, StepsThatDrawNothing) {
    Start(3, 0, 1000);
    EXPECT_EQ(StepAt(20), 1); // 34 * 20 / 1000 = 0
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(list, nullptr);

    EXPECT_EQ(StepAt(500), 1); // 17
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(StepAt(510), 1); // still 17
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(list, nullptr);

    // Not ready: nothing drawn, 0, and the list is null all the same.
    dest.SetReady(false);
    EXPECT_EQ(StepAt(900), 0);
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(list, nullptr);
}

TEST_F(BandsTest, SetUpHappensEvenWhenTheDestinationIsNotReady) {
    Start(0, 0, 100);
    dest.SetReady(false);
    EXPECT_EQ(StepAt(0), 0);
    EXPECT_FALSE(t.FirstStep());
    EXPECT_EQ(t.bandCount, 1); // a stored 0 is read as 1
    uint8_t out[4] = {};
    t.GetParams(out);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(t.bandSize, 100u);
    EXPECT_NE(t.rects, nullptr);
}

TEST_F(BandsTest, MoreBandsThanPixelsAreAllDrawnAndListed) {
    oldFrame.SetSize(5, 2);
    Start(8, 0, 10);
    StepAt(0);
    EXPECT_EQ(t.bandSize, 1u);
    EXPECT_EQ(StepAt(10), 1);
    std::vector<std::string> expected{"dest.IsReady()"};
    std::vector<std::vector<int32_t>> rects;
    for (int32_t x = 0; x < 8; ++x) {
        expected.push_back("new.CopyRect(dest, " + std::to_string(x) + ", 0, " + std::to_string(x) +
                           ", 0, 1, 2, 0, 0, 0, 2)");
        rects.push_back({x, 0, x + 1, 2});
    }
    rects.push_back({0, 0, 0, 0});
    EXPECT_CALLS(log, expected);
    EXPECT_EQ(ListOf(list), rects);
}

TEST_F(BandsTest, WholeFrameCases) {
    struct Case {
        const char* name;
        int32_t width;
        int32_t height;
        uint16_t count;
        uint16_t direction;
        uint16_t countAfterSetUp;
    };
    const Case cases[] = {
        {"zero width", 0, 50, 3, 0, 0},
        {"zero height, vertical", 100, 0, 3, 2, 0},
        {"direction 4", 100, 50, 3, 4, 3},
        {"direction 65535", 100, 50, 3, 65535, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        oldFrame.SetSize(c.width, c.height);
        Start(c.count, c.direction, 100);
        for (uint32_t e : {0u, 50u, 100u}) {
            EXPECT_EQ(StepAt(e), 1);
            EXPECT_CALLS(log, {"dest.IsReady()", "new.CopyAll(dest)"});
            EXPECT_EQ(list, nullptr);
        }
        EXPECT_EQ(t.bandCount, c.countAfterSetUp);
    }
}

TEST_F(BandsTest, ANullListPointerIsNotWrittenThrough) {
    Start(3, 0, 34);
    clock.Set(0);
    EXPECT_EQ(Step(), 1);
    clock.Set(20);
    EXPECT_EQ(Step(), 1);
    EXPECT_EQ(t.drawn, 20u);
}

TEST_F(BandsTest, TheRunKeepsTheCountAndDirectionItStartedWith) {
    Start(2, 0, 50);
    StepAt(0); // band size 50
    // A panel closed with apply during the run changes the fields but not the run.
    t.bandCount = 40;
    t.direction = 3;
    EXPECT_EQ(StepAt(10), 1);
    EXPECT_CALLS(log, {
                          "dest.IsReady()",
                          "new.CopyRect(dest, 0, 0, 0, 0, 10, 50, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 50, 0, 50, 0, 10, 50, 0, 0, 0, 2)",
                      });
    EXPECT_EQ(ListOf(list).size(), 3u);
    // The next run takes them.
    Start(t.bandCount, t.direction, 50);
    StepAt(0);
    EXPECT_EQ(StepAt(25), 1);
    EXPECT_EQ(ListOf(list).size(), 41u);
}

TEST_F(BandsTest, AnElapsedTimeBeyondTheDurationFinishesTheBands) {
    Start(3, 0, 34);
    StepAt(10);
    // Moving the start of the run into the future makes the elapsed time wrap.
    t.SetElapsed(static_cast<uint32_t>(-20));
    EXPECT_EQ(StepAt(12), 1);
    EXPECT_CALLS(log, {
                          "dest.IsReady()",
                          "new.CopyRect(dest, 10, 0, 10, 0, 24, 50, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 44, 0, 44, 0, 24, 50, 0, 0, 0, 2)",
                          "new.CopyRect(dest, 78, 0, 78, 0, 24, 50, 0, 0, 0, 2)",
                      });
    // The clock then moves back below what is drawn: nothing more.
    EXPECT_EQ(StepAt(40), 1); // 40 - 30 = 10
    EXPECT_CALLS(log, {"dest.IsReady()"});
    EXPECT_EQ(list, nullptr);
}

TEST_F(BandsTest, AHostFailureEndsTheStepWithZeroAndNoList) {
    Start(3, 0, 34);
    StepAt(0);
    newFrame.ThrowAfter(1);
    EXPECT_EQ(StepAt(10), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(log.lines.size(), 3u); // ready, one copy, the failing copy
}

TEST_F(BandsTest, TheArrayLivesFromSetUpToEndOrTheNextRun) {
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Start(static_cast<uint16_t>(2 + run), static_cast<uint16_t>(run), 20);
        EXPECT_EQ(t.rects, nullptr);
        StepAt(0);
        ASSERT_NE(t.rects, nullptr);
        StepAt(10);
        EXPECT_EQ(ListOf(list).size(), static_cast<std::size_t>(3 + run));
        t.End();
        EXPECT_EQ(t.rects, nullptr);
        EXPECT_TRUE(t.IsFinished());
    }
    // A new run without End in between: the set-up replaces the array.
    Start(5, 0, 20);
    StepAt(10);
    Start(7, 0, 20);
    StepAt(10);
    EXPECT_EQ(ListOf(list).size(), 8u);
    // Finish from a panel starts the t again with a fresh array.
    t.Finish();
    StepAt(20);
    EXPECT_EQ(ListOf(list).size(), 8u);
}

TEST_F(BandsTest, DestructionMidRunReleasesTheArray) {
    auto* mid = new BandsTransition();
    mid->bandCount = 9;
    clock.Set(0);
    mid->Begin(100);
    clock.Set(50);
    ChangedRect* out = nullptr;
    EXPECT_EQ(mid->Step(&dest, &oldFrame, &newFrame, 0, &out), 1);
    ASSERT_NE(out, nullptr);
    delete mid; // the leak checker of the sanitizer build sees any array left behind
}

// Pixels: which columns (or rows) of a band are uncovered after `pos` pixels, counted
// from the band's leading edge.
bool Uncovered(uint16_t direction, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t size, uint32_t pos) {
    int32_t along = 0;
    switch (direction) {
    case 0:
        along = x;
        break;
    case 1:
        along = w - 1 - x;
        break;
    case 2:
        along = y;
        break;
    default:
        along = h - 1 - y;
        break;
    }
    return static_cast<uint32_t>(along) % size < pos;
}

TEST(BandsPixels, WholeRunsShowTheNewFrameEverywhere) {
    for (uint16_t direction = 0; direction < 4; ++direction) {
        for (uint16_t count : {1, 3, 7, 200}) {
            for (uint32_t frame : test::kFrameIntervals) {
                SCOPED_TRACE("direction " + std::to_string(direction) + ", " + std::to_string(count) +
                             " bands, every " + std::to_string(frame) + " ms");
                TestClock clock;
                test::PixelRig rig(61, 37);
                BandsTransition bands;
                bands.bandCount = count;
                bands.direction = direction;
                test::RunUntil(bands, rig, clock, 1000, frame, 1000);
                EXPECT_EQ(test::FirstBadPixel(rig.dest, test::NewAt), "");
            }
        }
    }
}

TEST(BandsPixels, HalfWayEachBandIsUncoveredFromItsLeadingEdge) {
    for (uint16_t direction = 0; direction < 4; ++direction) {
        SCOPED_TRACE("direction " + std::to_string(direction));
        TestClock clock;
        test::PixelRig rig(61, 37);
        BandsTransition bands;
        bands.bandCount = 4;
        bands.direction = direction;
        // Uneven steps up to half time.
        clock.Set(0);
        bands.Begin(1000);
        for (uint32_t t : {0u, 3u, 90u, 91u, 260u, 333u, 500u}) {
            clock.Set(t);
            ASSERT_EQ(bands.Step(&rig.dest, &rig.oldFrame, &rig.newFrame, 0, nullptr), 1);
        }
        // Sizes: 16 columns (61 wide) or 10 rows (37 high); half of them.
        const uint32_t size = direction < 2 ? 16 : 10;
        const uint32_t pos = size / 2;
        EXPECT_EQ(test::FirstBadPixel(rig.dest,
                                      [&](int32_t x, int32_t y) {
                                          return Uncovered(direction, x, y, 61, 37, size, pos) ? test::NewAt(x, y)
                                                                                               : test::OldAt(x, y);
                                      }),
                  "");
    }
}

using BandsPanelTest = test::PanelFixture<BandsTransition>;

TEST_F(BandsPanelTest, OpensWithTheCountAndDirection) {
    t.bandCount = 12;
    t.direction = 2;
    HWND panel = Open();
    for (int32_t id = 1007; id <= 1010; ++id) {
        EXPECT_EQ(Checked(panel, id), id == 1009) << id;
    }
    EXPECT_EQ(automation::Control(panel, 1007)->text, u"From &left to right");
    EXPECT_EQ(automation::Control(panel, 1010)->text, u"From &bottom to top");
    EXPECT_EQ(Text(panel, 1015), u"12");
    const auto upDown = automation::Control(panel, 1017).value();
    EXPECT_EQ(upDown.rangeMin, 1);
    EXPECT_EQ(upDown.rangeMax, 5000);
    EXPECT_EQ(upDown.position, 12);
    EXPECT_EQ(t.bandCount, 12);
}

TEST_F(BandsPanelTest, DirectionButtons) {
    HWND panel = Open();
    ExpectClicksSelect(panel, {1010, 1008, 1009, 1007}, 1007, t.direction);
    // A direction button also takes over a count that differs from the edit box.
    ASSERT_TRUE(automation::Type(panel, 1015, u"9"));
    t.bandCount = 3;
    ASSERT_TRUE(automation::Click(panel, 1008));
    EXPECT_EQ(t.bandCount, 9);
    EXPECT_EQ(t.direction, 1);
}

TEST_F(BandsPanelTest, TypingACount) {
    struct Case {
        std::u16string typed;
        uint16_t count;
    };
    const Case cases[] = {
        {u"25", 25}, {u"0", 25},      {u"abc", 25},
        {u"", 25},   {u"5000", 5000}, {u"70000", 4464}, // only the low 16 bits are kept
        {u"1", 1},
    };
    HWND panel = Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed.begin(), c.typed.end()));
        Running();
        ASSERT_TRUE(automation::Type(panel, 1015, c.typed));
        EXPECT_EQ(t.bandCount, c.count);
        EXPECT_TRUE(PreviewAsked()); // every command asks, changed or not
        if (c.count == 25 || c.count == 1) {
            EXPECT_EQ(Position(panel, 1017), c.count);
        }
    }
}

// The texts the Wine host types into the real edit box, with the blocks it must find:
// the same typing stores the same block on both platforms.
TEST(BandsPanelTyping, StoresTheCountTheSystemCallReads) {
    const struct {
        const char* text;
        uint16_t count;
    } cases[] = {
#define WQ_TYPED(text, count, wine) {text, count},
#include "tests/windows/NumberTexts.inc"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << '"' << c.text << '"');
        BandsTransition t;
        const HWND panel = t.OpenSettings(nullptr, 0);
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(automation::Type(panel, 1015, std::u16string(c.text, c.text + std::strlen(c.text))));
        EXPECT_EQ(t.CloseSettings(1), 1);
        uint8_t block[4] = {};
        EXPECT_EQ(t.GetParams(block), 4);
        EXPECT_EQ(std::vector<uint8_t>(block, block + 4),
                  (std::vector<uint8_t>{static_cast<uint8_t>(c.count), static_cast<uint8_t>(c.count >> 8), 0, 0}));
    }
}

TEST_F(BandsPanelTest, TheUpDownControlMirrorsIntoTheEditBox) {
    HWND panel = Open();
    Running();
    ASSERT_TRUE(automation::MoveUpDown(panel, 1017, 40));
    EXPECT_EQ(t.bandCount, 40);
    EXPECT_EQ(Text(panel, 1015), u"40");
    EXPECT_TRUE(PreviewAsked());
    // Beyond its range the control stops at 5000.
    ASSERT_TRUE(automation::MoveUpDown(panel, 1017, 9000));
    EXPECT_EQ(t.bandCount, 5000);
    EXPECT_EQ(Text(panel, 1015), u"5000");
}

TEST_F(BandsPanelTest, OtherMessagesAskForNothing) {
    HWND panel = Open();
    Running();
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_TIMER, 0, 0), 0);
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_PAINT, 0, 0), 0);
    EXPECT_FALSE(t.FirstStep());
    // A command from any control asks for a preview.
    EXPECT_EQ(t.OnSettingsMessage(panel, WM_COMMAND, 1, 0), 0);
    EXPECT_TRUE(PreviewAsked());
}

TEST_F(BandsPanelTest, CloseReadsTheControlsOnlyWhenApplied) {
    HWND panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1010));
    ASSERT_TRUE(automation::Type(panel, 1015, u"77"));
    t.direction = 2;
    t.bandCount = 5;
    EXPECT_EQ(t.CloseSettings(0), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    // A cancel goes back to the fields the panel opened with.
    EXPECT_EQ(t.direction, 0);
    EXPECT_EQ(t.bandCount, 1);

    panel = Open();
    ASSERT_TRUE(automation::Click(panel, 1009));
    ASSERT_TRUE(automation::Type(panel, 1015, u"77"));
    t.direction = 0;
    t.bandCount = 5;
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.Dialog(), nullptr);
    uint8_t block[4];
    EXPECT_EQ(t.GetParams(block), 4);
    EXPECT_EQ(std::vector<uint8_t>(block, block + 4), (std::vector<uint8_t>{77, 0, 2, 0}));

    // A 0 in the edit box keeps the count.
    panel = Open();
    ASSERT_TRUE(automation::Type(panel, 1015, u"0"));
    EXPECT_EQ(t.CloseSettings(1), 1);
    EXPECT_EQ(t.bandCount, 77);
}
} // namespace
} // namespace wqtrans
