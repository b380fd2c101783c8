// The host-facing adapter and its table of 17 operations.
#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <stdexcept>

#include "module/Exports.h"
#include "module/Transition.h"
#include "support/TestClock.h"

namespace wqtrans {
namespace {

int liveProbes = 0;

// Counts its instances and throws from the operations a host failure could reach.
class ThrowingProbe : public Transition {
public:
    ThrowingProbe() { ++liveProbes; }
    ~ThrowingProbe() override { --liveProbes; }
    Transition* Clone() override { return new (std::nothrow) ThrowingProbe(); }
    uint32_t GetID() override { return MakeId('P', 'R', 'O', 'B'); }
    int32_t Step(HostSurface*, HostSurface*, HostSurface*, int32_t, ChangedRect**) override {
        throw std::runtime_error("step");
    }
    int32_t GetParams(void*) override { throw std::bad_alloc(); }
    int32_t IsFinished() override { throw std::runtime_error("finished"); }
};

TEST(Adapter, TableHasSeventeenSlotsInOrder) {
    static_assert(sizeof(TransitionAdapterTable) == 17 * sizeof(void*));
    static_assert(offsetof(TransitionAdapterTable, Delete) == 0 * sizeof(void*));
    static_assert(offsetof(TransitionAdapterTable, InterfaceNumber) == 1 * sizeof(void*));
    static_assert(offsetof(TransitionAdapterTable, Step) == 9 * sizeof(void*));
    static_assert(offsetof(TransitionAdapterTable, StepEx) == 15 * sizeof(void*));
    static_assert(offsetof(TransitionAdapterTable, Destroy) == 16 * sizeof(void*));
    static_assert(offsetof(TransitionAdapter, table) == 0);
    const TransitionAdapterTable& table = AdapterTable();
    const void* const* slots = reinterpret_cast<const void* const*>(&table);
    for (int i = 0; i < 17; ++i) {
        EXPECT_NE(slots[i], nullptr) << "slot " << i;
    }
}

TEST(Adapter, NullInnerAnswersFixedValues) {
    TransitionAdapter adapter{&AdapterTable(), nullptr};
    const TransitionAdapterTable& t = *adapter.table;
    char16_t name[8] = u"x";
    EXPECT_EQ(t.InterfaceNumber(&adapter), 2);
    EXPECT_EQ(t.Name(&adapter, name, 8), 0);
    EXPECT_EQ(name[0], u'x');
    EXPECT_EQ(t.ID(&adapter), 0u);
    EXPECT_EQ(t.Mode(&adapter), 0);
    EXPECT_EQ(t.GetParameters(&adapter, nullptr), 0);
    EXPECT_EQ(t.OpenSettings(&adapter, nullptr, 0), nullptr);
    EXPECT_EQ(t.CloseSettings(&adapter, 1), 1);
    EXPECT_EQ(t.Begin(&adapter, 100), 0);
    EXPECT_EQ(t.Step(&adapter, nullptr, nullptr, nullptr, 0, nullptr), 0);
    t.End(&adapter);
    EXPECT_EQ(t.IsFinished(&adapter), 1);
    EXPECT_EQ(t.Elapsed(&adapter), 0u);
    t.SetElapsed(&adapter, 5);
    EXPECT_EQ(t.QueryFeature(&adapter, 1, 1), 0);
    EXPECT_EQ(t.StepEx(&adapter, nullptr, 0, 0, nullptr, nullptr, 0, 0, 0, 0, 0, 0), 0);
    t.Destroy(&adapter, 0); // deletes nothing, frees nothing: the adapter is on the stack
    t.Delete(nullptr);
}

TEST(Adapter, DestroyDeletesInnerAndFreesOnlyWithFlag) {
    auto* adapter = NewAdapter(new ThrowingProbe());
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(liveProbes, 1);
    adapter->table->Destroy(adapter, 0); // inner gone, adapter kept
    EXPECT_EQ(liveProbes, 0);
    EXPECT_EQ(adapter->inner, nullptr);
    EXPECT_EQ(adapter->table->IsFinished(adapter), 1);
    adapter->table->Destroy(adapter, 1);
}

TEST(Adapter, DeleteFreesTransitionAndAdapter) {
    auto* adapter = NewAdapter(new ThrowingProbe());
    ASSERT_NE(adapter, nullptr);
    adapter->table->Delete(adapter);
    EXPECT_EQ(liveProbes, 0); // the sanitizers see the adapter's own memory
}

TEST(Adapter, NothingThrownReachesTheHost) {
    auto* adapter = NewAdapter(new ThrowingProbe());
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->table->Step(adapter, nullptr, nullptr, nullptr, 0, nullptr), 0);
    EXPECT_EQ(adapter->table->GetParameters(adapter, nullptr), 0);
    EXPECT_EQ(adapter->table->IsFinished(adapter), 1);
    adapter->table->Delete(adapter);
}

TEST(Adapter, ForwardsToTheTransition) {
    test::TestClock clock(100);
    TransitionAdapter* adapter = CreateTransition(0, MakeId('F', 'A', 'D', 'E'), nullptr, 0);
    ASSERT_NE(adapter, nullptr);
    const TransitionAdapterTable& t = *adapter->table;
    char16_t name[16];
    EXPECT_EQ(t.Name(adapter, name, 16), 4);
    EXPECT_EQ(std::u16string(name), u"Fade");
    EXPECT_EQ(t.QueryFeature(adapter, 1, 5), 1);
    EXPECT_EQ(t.IsFinished(adapter), 1);
    EXPECT_EQ(t.Begin(adapter, 1000), 1);
    EXPECT_EQ(t.IsFinished(adapter), 0);
    t.SetElapsed(adapter, 400);
    EXPECT_EQ(t.Elapsed(adapter), 400u);
    t.End(adapter);
    EXPECT_EQ(t.IsFinished(adapter), 1);
    EXPECT_EQ(t.OpenSettings(adapter, nullptr, 0), nullptr); // Fade has no panel
    t.Delete(adapter);
}

} // namespace
} // namespace wqtrans
