// libFuzzer target for the module, driven as a host drives it: a transition created
// through the export with any block, frames of any size (and surfaces that report
// sizes no real surface has), a clock set anywhere across its wrap, and a sequence of
// adapter operations and panel actions, on surfaces that answer 0 or throw at a
// chosen drawing call. Nothing may crash, leak, escape as an exception or do anything
// undefined (the target is built with AddressSanitizer and UBSan).
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/SoftwareSurface.h"
#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "platform/Automation.h"
#include "platform/Platform.h"
#include "support/FaultySurface.h"

namespace {

using wqtrans::HostSurface;
using wqtrans::SoftwareSurface;
using wqtrans::test::FaultPlan;
using wqtrans::test::FaultySurface;

uint32_t clockNow = 0;
uint32_t ReadClock(void*) { return clockNow; }

constexpr std::array<int32_t, 8> kAbsurdSizes = {INT_MAX, INT_MIN, -1, 0, 1 << 16, 1 << 30, 46341, INT_MAX - 1};

class Tint final : public wqtrans::HostEffect {
public:
    uint32_t ReadTint() override { return tint; }
    void WriteTint(uint32_t value) override { tint = value; }
    uint32_t tint = 0x80FFFFFFu;
};

// Three frames of one size on real surfaces, seen through fault-injecting surfaces.
struct Frames {
    Frames(FuzzedDataProvider& in, FaultPlan& plan)
        : dest(in.ConsumeIntegralInRange<int32_t>(1, 40), in.ConsumeIntegralInRange<int32_t>(1, 40)),
          oldFrame(in.ConsumeIntegralInRange<int32_t>(1, 40), in.ConsumeIntegralInRange<int32_t>(1, 40)),
          newFrame(oldFrame.Width(), oldFrame.Height()), d(dest, plan), o(oldFrame, plan), n(newFrame, plan) {
        for (FaultySurface* s : {&d, &o, &n}) {
            if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
                const auto w = kAbsurdSizes[in.ConsumeIntegralInRange<std::size_t>(0, kAbsurdSizes.size() - 1)];
                const auto h = kAbsurdSizes[in.ConsumeIntegralInRange<std::size_t>(0, kAbsurdSizes.size() - 1)];
                s->ReportSize(w, h);
            }
        }
        newFrame.Fill(0x00FF8040u);
    }
    SoftwareSurface dest, oldFrame, newFrame;
    FaultySurface d, o, n;
};

void ActOnPanel(FuzzedDataProvider& in, HWND panel) {
    const auto controls = wqtrans::automation::Controls(panel);
    if (controls.empty()) {
        return;
    }
    const auto& c = controls[in.ConsumeIntegralInRange<std::size_t>(0, controls.size() - 1)];
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        wqtrans::automation::Click(panel, c.id);
        break;
    case 1:
        wqtrans::automation::MoveTrackBar(panel, c.id, in.ConsumeIntegral<int32_t>());
        break;
    case 2:
        wqtrans::automation::MoveUpDown(panel, c.id, in.ConsumeIntegral<int32_t>());
        break;
    default: {
        const std::string bytes = in.ConsumeRandomLengthString(12);
        wqtrans::automation::Type(panel, c.id, std::u16string(bytes.begin(), bytes.end()));
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    wqtrans::platform::SetTimeSource(&ReadClock, nullptr);
    clockNow = in.ConsumeIntegral<uint32_t>();
    wqtrans::crt::srand(in.ConsumeIntegral<uint32_t>());

    const int32_t index = in.ConsumeIntegralInRange<int32_t>(0, 20);
    std::array<uint8_t, 16> block{};
    const std::vector<uint8_t> given = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 16));
    std::copy(given.begin(), given.end(), block.begin());
    const uint32_t blockSize = in.ConsumeIntegralInRange<uint32_t>(0, 16);
    wqtrans::TransitionAdapter* t =
        CreateTransition(0, GetTransID(index), in.ConsumeBool() ? block.data() : nullptr, blockSize);
    if (t == nullptr) {
        return 0;
    }

    FaultPlan plan;
    plan.failAt = in.ConsumeIntegralInRange<int64_t>(-1, 300);
    plan.kind = in.ConsumeBool() ? FaultPlan::Kind::kThrow : FaultPlan::Kind::kAnswerZero;
    auto frames = std::make_unique<Frames>(in, plan);
    Tint tint;
    HWND panel = nullptr;

    for (int op = 0; op < 48 && in.remaining_bytes() > 0; ++op) {
        switch (in.ConsumeIntegralInRange<int>(0, 11)) {
        case 0:
            t->table->Begin(t, in.ConsumeBool() ? in.ConsumeIntegral<uint32_t>() : in.ConsumeIntegral<uint16_t>());
            break;
        case 1:
        case 2: {
            clockNow += in.ConsumeIntegral<uint16_t>();
            wqtrans::ChangedRect* changed = nullptr;
            t->table->Step(t, &frames->d, &frames->o, &frames->n, in.ConsumeIntegral<int32_t>(), &changed);
            break;
        }
        case 3:
            clockNow = in.ConsumeIntegral<uint32_t>();
            break;
        case 4: {
            const int32_t ops[] = {0, 1, 0x1000, 13, 13, 7};
            const int32_t blitOp = ops[in.ConsumeIntegralInRange<int>(0, 5)];
            const wqtrans::HostParam param = blitOp == 13
                                                 ? (in.ConsumeBool() ? reinterpret_cast<wqtrans::HostParam>(&tint) : 0)
                                                 : in.ConsumeIntegral<uint32_t>();
            t->table->StepEx(t, &frames->d, in.ConsumeIntegralInRange<int32_t>(-50, 50),
                             in.ConsumeIntegralInRange<int32_t>(-50, 50), &frames->o, &frames->n,
                             in.ConsumeIntegral<int32_t>(), 0, in.ConsumeIntegralInRange<int32_t>(0, 1), blitOp, param,
                             in.ConsumeIntegral<int32_t>());
            break;
        }
        case 5:
            t->table->End(t);
            break;
        case 6:
            t->table->IsFinished(t);
            t->table->Elapsed(t);
            t->table->SetElapsed(t, in.ConsumeIntegral<uint32_t>());
            break;
        case 7: {
            std::array<uint8_t, 16> out{};
            t->table->GetParameters(t, in.ConsumeBool() ? out.data() : nullptr);
            break;
        }
        case 8:
            panel = t->table->OpenSettings(t, nullptr, 0);
            break;
        case 9:
            if (panel != nullptr) {
                ActOnPanel(in, panel);
            }
            break;
        case 10:
            t->table->CloseSettings(t, in.ConsumeBool() ? 1 : 0);
            panel = nullptr;
            break;
        default:
            frames = std::make_unique<Frames>(in, plan);
            break;
        }
    }
    t->table->Delete(t);
    wqtrans::platform::SetTimeSource(nullptr, nullptr);
    return 0;
}
