#include "transitions/MosaicTransition.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>

#include "module/ParamBlock.h"
#include "transitions/Geometry.h"
#include "transitions/PanelControls.h"
#include "transitions/SpotWidthLabel.h"

namespace wqtrans {

namespace {

constexpr int kTrackBar = 1025;
constexpr int32_t kMinSpot = 1;
constexpr int32_t kMaxSpot = 100;
// Movable, zero-filled global memory.
constexpr UINT kBitmapFlags = 0x42;
// The C runtime generator's values are 0 to 32767.
constexpr uint32_t kRandRange = 32768;

} // namespace

MosaicTransition::MosaicTransition() {
    nameId = 1003;
    dialogId = 104;
}

MosaicTransition::~MosaicTransition() { ReleaseBits(); }

Transition* MosaicTransition::Clone() { return new (std::nothrow) MosaicTransition(); }

uint32_t MosaicTransition::GetID() { return kId; }

int32_t MosaicTransition::GetParams(void* out) { return WriteBlock(out, spotWidth); }

void MosaicTransition::SetParams(const void* block, uint32_t size) { ReadBlock(block, size, spotWidth); }

INT_PTR MosaicTransition::OnSettingsMessage(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        ShowSpotWidth(window, spotWidth);
        SetUpTrackBar(window, kTrackBar, kMinSpot, kMaxSpot, spotWidth);
        return 1;
    }
    if (message == WM_HSCROLL) {
        if (ReadTrackBar(window, kTrackBar, kMinSpot, kMaxSpot, spotWidth)) {
            ShowSpotWidth(window, spotWidth);
            Finish();
        }
    }
    return 0;
}

int32_t MosaicTransition::CloseSettings(int32_t apply) {
    if (apply != 0 && dialog != nullptr) {
        ReadTrackBarUnlessZero(dialog, kTrackBar, spotWidth);
    }
    return Transition::CloseSettings(apply);
}

void MosaicTransition::ReleaseBits() {
    fullUntil.clear();
    if (shownBits != nullptr) {
        HGLOBAL memory = GlobalHandle(shownBits);
        GlobalUnlock(memory);
        GlobalFree(memory);
        shownBits = nullptr;
    }
}

void MosaicTransition::End() {
    ReleaseBits();
    Transition::End();
}

int32_t MosaicTransition::ShowCell(HostSurface* dest, HostSurface* newFrame, uint32_t cell) {
    const auto x = static_cast<int32_t>((cell % columns) * cellSize);
    const auto y = static_cast<int32_t>((cell / columns) * cellSize);
    const auto side = static_cast<int32_t>(cellSize);
    return newFrame->CopyRect(dest, x, y, x, y, side, side, 0, 0, 0, 2);
}

bool MosaicTransition::IsShown(uint32_t cell) const { return (shownBits[cell / 8] & (1u << (cell % 8))) != 0; }

void MosaicTransition::MarkShown(uint32_t cell) {
    shownBits[cell / 8] = static_cast<uint8_t>(shownBits[cell / 8] | (1u << (cell % 8)));
}

uint32_t MosaicTransition::OpenBlockFrom(uint32_t block) {
    if (fullUntil.empty()) {
        return block;
    }
    // Follows the links, halving the path behind it as it goes.
    while (fullUntil[block] != block) {
        fullUntil[block] = fullUntil[fullUntil[block]];
        block = fullUntil[block];
    }
    return block;
}

bool MosaicTransition::FindFreeCellIn(uint32_t from, uint32_t to, uint32_t& found) const {
    uint32_t k = from;
    while (k < to) {
        // Full bytes are skipped; eight aligned full bytes at once, which changes
        // nothing but the time a nearly full bitmap takes.
        if (k % 8 == 0 && to - k >= 8) {
            uint64_t word = 0;
            std::memcpy(&word, shownBits + k, sizeof word);
            if (word == ~uint64_t{0}) {
                k += 8;
                continue;
            }
        }
        const uint8_t byte = shownBits[k];
        if (byte != 0xFF) {
            for (uint32_t b = 0; b < 8; ++b) {
                const uint32_t candidate = 8 * k + b;
                if (candidate / columns >= rows) {
                    break;
                }
                if ((byte & (1u << b)) == 0) {
                    found = candidate;
                    return true;
                }
            }
        }
        ++k;
    }
    return false;
}

bool MosaicTransition::FindFreeCellInBlocks(uint32_t from, uint32_t to, uint32_t& found) {
    const uint32_t bytes = (cellCount + 7) / 8;
    for (uint32_t block = OpenBlockFrom(from / kBlockBytes); block * kBlockBytes < to;
         block = OpenBlockFrom(block + 1)) {
        const uint32_t blockStart = block * kBlockBytes;
        const uint32_t start = std::max(from, blockStart);
        const uint32_t end = std::min(to, blockStart + kBlockBytes);
        if (FindFreeCellIn(start, end, found)) {
            return true;
        }
        if (!fullUntil.empty() && start == blockStart && end == std::min(bytes, blockStart + kBlockBytes)) {
            fullUntil[block] = block + 1;
        }
    }
    return false;
}

bool MosaicTransition::FindFreeCell(uint32_t cell, uint32_t& found) {
    const uint32_t bytes = (cellCount + 7) / 8;
    const uint32_t first = cell / 8;
    if (fullUntil.empty()) {
        try {
            fullUntil.resize((static_cast<std::size_t>(bytes) + kBlockBytes - 1) / kBlockBytes + 1);
            std::iota(fullUntil.begin(), fullUntil.end(), 0u);
        } catch (const std::bad_alloc&) {
            fullUntil.clear();
        }
    }
    return FindFreeCellInBlocks(first, bytes, found) || FindFreeCellInBlocks(0, first, found);
}

int32_t MosaicTransition::Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t,
                               ChangedRect**) {
    return Guarded([&]() -> int32_t {
        if (firstStep != 0) {
            const auto W = static_cast<uint32_t>(oldFrame->Width());
            const auto H = static_cast<uint32_t>(oldFrame->Height());
            const auto s = static_cast<uint32_t>(spotWidth);
            cellSize = ((s * H) / 100 + (s * W) / 100) / 2;
            if (cellSize == 0) {
                cellSize = 1;
            }
            columns = (W + cellSize - 1) / cellSize;
            rows = (H + cellSize - 1) / cellSize;
            cellCount = columns * rows;
            cellsShown = 0;
            ReleaseBits();
            // A grid too large to count in 32 bits, or a frame too large to draw cell
            // by cell, gets no bitmap: the run then shows the new frame whole, as when
            // the memory cannot be had.
            if (static_cast<uint64_t>(columns) * rows == cellCount && FrameFits(W, H)) {
                HGLOBAL memory = GlobalAlloc(kBitmapFlags, (cellCount + 7) / 8 + 2);
                if (memory != nullptr) {
                    shownBits = static_cast<uint8_t*>(GlobalLock(memory));
                    if (shownBits == nullptr) {
                        GlobalFree(memory);
                    }
                }
            }
            firstStep = 0;
        }
        if (dest->IsReady() == 0) {
            return 0;
        }
        if (shownBits == nullptr || columns < 2 || rows < 2 || duration == 0) {
            return StepResult(newFrame->CopyAll(dest));
        }
        uint32_t e = UpdateElapsed();
        if (e > duration) {
            e = duration;
        }
        const auto target = static_cast<uint32_t>(static_cast<double>(cellCount) * static_cast<double>(e) /
                                                  static_cast<double>(duration));
        // A target below what the run has asked for (the clock set back) adds nothing.
        if (target <= cellsShown) {
            return 1;
        }
        // A cell is marked shown and counted only once it is drawn: a cell whose
        // drawing failed stays free, and the next step draws the cells still due.
        const uint32_t due = target - cellsShown;
        for (uint32_t n = 0; n < due; ++n) {
            const auto r1 = static_cast<uint32_t>(crt::rand());
            const auto r2 = static_cast<uint32_t>(crt::rand());
            const uint32_t col = (r1 * columns) / kRandRange;
            const uint32_t row = (r2 * rows) / kRandRange;
            uint32_t cell = row * columns + col;
            if (IsShown(cell) && !FindFreeCell(cell, cell)) {
                ++cellsShown; // every cell is shown already
                continue;
            }
            if (ShowCell(dest, newFrame, cell) == 0) {
                return 0;
            }
            MarkShown(cell);
            ++cellsShown;
        }
        return 1;
    });
}

} // namespace wqtrans
