// The nine exports and the registry behind them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "module/Exports.h"
#include "module/Registry.h"
#include "module/Transition.h"

namespace wqtrans {
namespace {

struct Row {
    const char* id;
    const char16_t* name;
    int32_t mode;
    int32_t dialog;
};

// The registry in index order, written out from the published table.
constexpr Row kRows[] = {
    {"FADE", u"Fade", 7, 0},         {"BAND", u"Bands", 3, 102},
    {"DOOR", u"Door", 3, 105},       {"MOSA", u"Mosaic", 3, 104},
    {"SCRL", u"Scrolling", 11, 106}, {"ZIGZ", u"Zigzag", 3, 103},
    {"ZOOM", u"Zoom", 15, 0},        {"SE00", u"Advanced Scrolling", 11, 108},
    {"SE10", u"Back", 3, 116},       {"SE12", u"Cell", 3, 118},
    {"SE03", u"Line", 3, 109},       {"SE05", u"Open", 3, 111},
    {"SE06", u"Push", 3, 112},       {"SE01", u"Square", 3, 107},
    {"SE07", u"Stretch", 11, 113},   {"SE09", u"Stretch 2", 11, 115},
    {"SE13", u"Trame", 3, 119},      {"SE08", u"Turn", 3, 114},
    {"SE02", u"Turn 2", 3, 120},     {"SE04", u"ZigZag 2", 3, 110},
    {"SE11", u"Zoom 2", 11, 117},
};

uint32_t IdOf(const char* code) {
    uint32_t id = 0;
    std::memcpy(&id, code, 4); // the bytes in memory spell the code (little-endian hosts)
    return id;
}

TEST(Exports, ModuleConstants) {
    EXPECT_EQ(GetModuleType(), IdOf("WQTR"));
    EXPECT_EQ(GetModuleID(), 0x54445453u);
    EXPECT_EQ(GetModuleID(), IdOf("STDT"));
    EXPECT_EQ(IsUnicode(), 1);
    EXPECT_EQ(GetTransCount(), 21);
    EXPECT_EQ(MakeId('F', 'A', 'D', 'E'), 0x45444146u);
}

TEST(Exports, ModuleNameIsCutAtCapacity) {
    char16_t buffer[64];
    EXPECT_EQ(GetModuleName(buffer, 64), 20);
    EXPECT_EQ(std::u16string(buffer), u"Standard transitions");
    EXPECT_EQ(GetModuleName(buffer, 9), 8);
    EXPECT_EQ(std::u16string(buffer), u"Standard");
}

TEST(Exports, RegistryRowsInIndexOrder) {
    ASSERT_EQ(std::size(kRows), 21u);
    for (int32_t i = 0; i < 21; ++i) {
        SCOPED_TRACE(kRows[i].id);
        EXPECT_EQ(GetTransID(i), IdOf(kRows[i].id));
        EXPECT_EQ(GetTransMode(i), kRows[i].mode);
        char16_t name[64];
        const int32_t copied = GetTransName(i, name, 64);
        EXPECT_EQ(std::u16string(name), kRows[i].name);
        EXPECT_EQ(copied, static_cast<int32_t>(std::u16string(kRows[i].name).size()));
        // The table and the prototype it makes agree on every column.
        const RegistryRow& row = RegistryTable()[static_cast<std::size_t>(i)];
        Transition* prototype = Prototype(i);
        ASSERT_NE(prototype, nullptr);
        EXPECT_EQ(row.id, prototype->GetID());
        EXPECT_EQ(row.mode, prototype->GetMode());
        EXPECT_EQ(row.nameId, prototype->NameId());
        EXPECT_EQ(row.dialogId, prototype->DialogId());
        EXPECT_EQ(prototype->DialogId(), kRows[i].dialog);
    }
}

TEST(Exports, IndexesOutsideTheTableAnswerZero) {
    for (int32_t index : {21, 22, 1000, INT32_MAX, -1, -21, INT32_MIN}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(GetTransID(index), 0u);
        EXPECT_EQ(GetTransMode(index), 0);
        char16_t buffer[8] = u"keepme";
        EXPECT_EQ(GetTransName(index, buffer, 8), 0);
        EXPECT_EQ(std::u16string(buffer), u"keepme");
    }
}

TEST(Exports, NameRequestsWithoutRoomWriteNothing) {
    char16_t buffer[4] = u"abc";
    EXPECT_EQ(GetTransName(3, buffer, 0), 0);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(GetTransName(3, buffer, -5), 0);
    EXPECT_EQ(GetTransName(3, nullptr, 64), 0);
    EXPECT_EQ(GetModuleName(nullptr, 64), 0);
    EXPECT_EQ(GetModuleName(buffer, 0), 0);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(GetTransName(3, buffer, 1), 0);
    EXPECT_EQ(buffer[0], u'\0');
    char16_t mosaic[64];
    EXPECT_EQ(GetTransName(3, mosaic, 64), 6);
    EXPECT_EQ(std::u16string(mosaic), u"Mosaic");
}

TEST(CreateTransition, ReservedMustBeZero) {
    EXPECT_EQ(CreateTransition(1, IdOf("FADE"), nullptr, 0), nullptr);
    EXPECT_EQ(CreateTransition(-1, IdOf("FADE"), nullptr, 0), nullptr);
}

TEST(CreateTransition, UnknownIdsGiveNull) {
    for (uint32_t id : {0u, IdOf("fade"), IdOf("SE14"), IdOf("WQTR"), 0xFFFFFFFFu}) {
        EXPECT_EQ(CreateTransition(0, id, nullptr, 0), nullptr) << id;
    }
}

TEST(CreateTransition, EveryIdMakesItsTransition) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.id);
        TransitionAdapter* adapter = CreateTransition(0, IdOf(row.id), nullptr, 0);
        ASSERT_NE(adapter, nullptr);
        EXPECT_EQ(adapter->table->ID(adapter), IdOf(row.id));
        EXPECT_EQ(adapter->table->Mode(adapter), row.mode);
        EXPECT_NE(adapter->inner, Prototype(static_cast<int32_t>(&row - kRows)));
        adapter->table->Delete(adapter);
    }
}

TEST(CreateTransition, BlocksShorterThanTheLayoutAreIgnored) {
    const uint8_t block[16] = {7, 0, 0, 0, 9, 9, 9, 9};
    struct Case {
        const char* id;
        uint32_t size;
        uint32_t expectedFirstWord;
    };
    // Mosaic (4 bytes, spot width 4), Cell (8 bytes, 4 columns), Line (12 bytes, 2 lines).
    for (const Case& c : {Case{"MOSA", 2, 4}, Case{"MOSA", 3, 4}, Case{"MOSA", 4, 7}, Case{"MOSA", 12, 7},
                          Case{"SE12", 7, 4}, Case{"SE12", 8, 7}, Case{"SE03", 11, 2}, Case{"SE03", 12, 7}}) {
        SCOPED_TRACE(std::string(c.id) + " size " + std::to_string(c.size));
        TransitionAdapter* adapter = CreateTransition(0, IdOf(c.id), block, c.size);
        ASSERT_NE(adapter, nullptr);
        uint8_t out[16] = {};
        adapter->table->GetParameters(adapter, out);
        uint32_t first = 0;
        std::memcpy(&first, out, 4);
        EXPECT_EQ(first, c.expectedFirstWord);
        adapter->table->Delete(adapter);
    }
}

TEST(CreateTransition, NullBlockSkipsParametersWhateverTheSize) {
    TransitionAdapter* adapter = CreateTransition(0, IdOf("MOSA"), nullptr, 100);
    ASSERT_NE(adapter, nullptr);
    uint8_t out[4] = {};
    EXPECT_EQ(adapter->table->GetParameters(adapter, out), 4);
    EXPECT_EQ(out[0], 4);
    adapter->table->Delete(adapter);
}

TEST(CreateTransition, FadeTakesAnyBlockAndHasNone) {
    const uint8_t block[100] = {1, 2, 3};
    TransitionAdapter* adapter = CreateTransition(0, IdOf("FADE"), block, 100);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->table->GetParameters(adapter, nullptr), 0);
    adapter->table->Delete(adapter);
}

TEST(CreateTransition, InstancesAreIndependent) {
    const uint8_t block[4] = {9, 0, 0, 0};
    TransitionAdapter* a = CreateTransition(0, IdOf("MOSA"), block, 4);
    TransitionAdapter* b = CreateTransition(0, IdOf("MOSA"), nullptr, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->inner, b->inner);
    uint8_t outA[4] = {}, outB[4] = {};
    a->table->GetParameters(a, outA);
    b->table->GetParameters(b, outB);
    EXPECT_EQ(outA[0], 9);
    EXPECT_EQ(outB[0], 4);
    a->table->Begin(a, 100);
    EXPECT_EQ(b->table->IsFinished(b), 1); // b never began
    a->table->Delete(a);
    b->table->Delete(b);
    // The prototype kept its defaults.
    uint8_t proto[4] = {};
    Prototype(3)->GetParams(proto);
    EXPECT_EQ(proto[0], 4);
}

} // namespace
} // namespace wqtrans
