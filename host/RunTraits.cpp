#include "host/RunTraits.h"

#include <cstring>
#include <functional>

#include "host/FrameRenderer.h"

namespace wqtrans {

namespace {

// The blocks of a fresh instance and of each choice of the panel.
std::vector<std::vector<uint8_t>> ChoiceBlocks(uint32_t id, const std::vector<PanelField>& fields) {
    std::vector<std::vector<uint8_t>> blocks = {{}};
    for (size_t i = 0; i < fields.size(); ++i) {
        for (int32_t choice = 0; fields[i].kind == PanelField::Kind::Choice && choice <= fields[i].high; ++choice) {
            std::vector<int32_t> values;
            for (const PanelField& f : fields) {
                values.push_back(f.initial);
            }
            values[i] = choice;
            blocks.push_back(PanelBlock(id, fields, values));
        }
    }
    return blocks;
}

// Whether any of the blocks at a quarter, half or three quarters of the run looks
// different under the two requests `vary` makes of it.
bool AnyDifference(uint32_t id, const std::vector<PanelField>& fields,
                   const std::function<void(FrameRequest&, FrameRequest&, double share)>& vary) {
    constexpr int32_t w = 48, h = 36;
    SoftwareSurface oldFrame(w, h), newFrame(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            oldFrame.SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(x * 5) << 16 | static_cast<uint32_t>(y * 7));
            newFrame.SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(y * 6) << 8 | static_cast<uint32_t>(200 - x));
        }
    }
    for (const std::vector<uint8_t>& block : ChoiceBlocks(id, fields)) {
        for (const double share : {0.25, 0.5, 0.75}) {
            SoftwareSurface first(w, h), second(w, h);
            FrameRequest a, b;
            a.id = b.id = id;
            a.block = b.block = block;
            vary(a, b, share);
            RenderFrameAt(a, oldFrame, newFrame, first);
            RenderFrameAt(b, oldFrame, newFrame, second);
            if (std::memcmp(first.Pixels(), second.Pixels(), sizeof(uint32_t) * w * h) != 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

bool DependsOnSeed(uint32_t id, const std::vector<PanelField>& fields) {
    return AnyDifference(id, fields, [](FrameRequest& a, FrameRequest& b, double share) {
        a.elapsedMs = b.elapsedMs = static_cast<uint32_t>(share * 1000);
        a.seed = 1;
        b.seed = 2;
    });
}

bool DependsOnDuration(uint32_t id, const std::vector<PanelField>& fields) {
    return AnyDifference(id, fields, [](FrameRequest& a, FrameRequest& b, double share) {
        a.durationMs = 1000;
        a.elapsedMs = static_cast<uint32_t>(share * 1000);
        b.durationMs = 3000;
        b.elapsedMs = static_cast<uint32_t>(share * 3000);
    });
}

} // namespace wqtrans
