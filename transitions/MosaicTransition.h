// Mosaic: uncovers the new frame in randomly chosen square cells.
// ID "MOSA", name string 1003, settings panel 104, mode 3.
// Parameter block, 4 bytes, little-endian:
//   offset 0, 32-bit: spotWidth (default 4)
#pragma once

#include <vector>

#include "module/Transition.h"

namespace wqtrans {

class MosaicTransition : public Transition {
public:
    static constexpr uint32_t kId = MakeId('M', 'O', 'S', 'A');

    MosaicTransition();
    ~MosaicTransition() override;
    Transition* Clone() override;
    uint32_t GetID() override;
    int32_t GetParams(void* out) override;
    void SetParams(const void* block, uint32_t size) override;
    int32_t CloseSettings(int32_t apply) override;
    INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    // Draws, in random order, the cells that became due since the last step.
    int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                 ChangedRect** changed) override;
    void End() override;

    // Parameters.
    int32_t spotWidth = 4;

    // Run state, set at the first step of a run. shownBits holds one bit per cell:
    // bit b of byte k stands for cell 8k + b, in row i / columns, column i % columns.
    uint32_t cellSize = 0;
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint32_t cellCount = 0;
    uint32_t cellsShown = 0;
    uint8_t* shownBits = nullptr;

private:
    void ReleaseBits();
    // Draws one cell of the new frame; the surface's answer.
    int32_t ShowCell(HostSurface* dest, HostSurface* newFrame, uint32_t cell);
    bool IsShown(uint32_t cell) const;
    void MarkShown(uint32_t cell);
    // Finds a free cell at or after the start of `cell`'s byte, wrapping once to the
    // start of the bitmap; false when every cell is shown.
    bool FindFreeCell(uint32_t cell, uint32_t& found);
    // Finds the first free cell of bytes [from, to) of the bitmap.
    bool FindFreeCellIn(uint32_t from, uint32_t to, uint32_t& found) const;
    // Finds the first free cell of bytes [from, to), a block at a time, passing over
    // the blocks seen full.
    bool FindFreeCellInBlocks(uint32_t from, uint32_t to, uint32_t& found);
    // The first block at or after `block` not yet seen full (the block count when none is).
    uint32_t OpenBlockFrom(uint32_t block);

    // The search's memory of full blocks of kBlockBytes bitmap bytes (512 cells), one
    // entry per block and one past the last, made at the run's first search: every
    // block from b up to fullUntil[b] was seen full. Cells are only ever marked shown, so a
    // block seen full stays full: a search scans at most the rest of its own block and
    // the blocks it finds full, each once a run, so its cost no longer grows as the
    // bitmap fills. Empty when the memory cannot be had; the search then scans on.
    static constexpr uint32_t kBlockBytes = 64;
    std::vector<uint32_t> fullUntil;
};

} // namespace wqtrans
