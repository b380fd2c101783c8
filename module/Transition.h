// Transition: the base class of all 21 transitions.
//
// It holds what every transition shares: the ids of its display name and settings
// panel, the open panel, the clock that turns timer readings into elapsed
// milliseconds, and an optional work surface. Its virtual operations, in slot order,
// are how the registry, the adapter and the settings panels drive a transition; each
// has a default here that a class overrides where it has something of its own.
//
// A class constructor sets nameId, dialogId and its parameter defaults; its fields
// follow in the order parameters, run-time state. Steps read the clock with
// UpdateElapsed and never divide by a zero duration: duration is 1 until Begin.
#pragma once

#include <cstdint>
#include <optional>

#include "module/HostSurface.h"
#include "module/ParamBlock.h"
#include "module/Types.h"
#include "platform/Platform.h"

namespace wqtrans {

// The answers of one step's drawing calls. A step reports 1 only when every drawing
// call it made was carried out (answered non-zero). A transition that keeps progress
// from one step to the next (bands opened, cells shown, rows swept) advances it only
// over what was drawn, so that the next step draws again what failed.
class DrawCalls {
public:
    // Notes one call's answer; true when that call was carried out.
    bool operator()(int32_t answer) noexcept {
        if (answer == 0) {
            failed = true;
        }
        return answer != 0;
    }
    bool AllDrawn() const noexcept { return !failed; }
    // The step's result: 1 when everything was drawn, else 0.
    int32_t Result() const noexcept { return failed ? 0 : 1; }

private:
    bool failed = false;
};

// A whole-frame drawing call's answer as a step result: 1 drawn, 0 not.
constexpr int32_t StepResult(int32_t answer) noexcept { return answer != 0 ? 1 : 0; }

class Transition {
public:
    Transition() = default;
    Transition(const Transition&) = delete;
    Transition& operator=(const Transition&) = delete;

    // Slot 0: the deleting destructor. Closes the panel, ends a run and releases the
    // work surface; class destructors release their own allocations first.
    virtual ~Transition();
    // Slot 1: a new instance of the same class with its constructor defaults, or null.
    virtual Transition* Clone() = 0;
    // Slot 2.
    virtual int32_t QueryFeature(int32_t feature, int32_t value);
    // Slot 3: the class's four-character code.
    virtual uint32_t GetID() = 0;
    // Slot 4: mode bits handed to the host as they are.
    virtual int32_t GetMode();
    // Slot 5: stores an empty string, then loads string nameId; returns the characters
    // copied.
    virtual int32_t GetName(char16_t* buffer, int32_t capacity);
    // Slot 6: writes the parameter block to `out` unless it is null; returns its size.
    virtual int32_t GetParams(void* out);
    // Slot 7: takes a block of at least the class's block size; ignores others.
    virtual void SetParams(const void* block, uint32_t size);
    // Slot 8: opens the settings panel as a child of `parent`, or returns null. Keeps
    // a copy of the parameter block as it is now, for a cancelled close.
    virtual HWND OpenSettings(HWND parent, intptr_t unused);
    // Slot 9: reads the panel back when `apply` is not 0 (classes with panels), then
    // destroys it; returns 1. With `apply` 0 the parameters go back to the block
    // copied when the panel was last opened: panels write their fields as the author
    // clicks, and a cancel must not keep those edits. Every class's CloseSettings
    // ends in this one.
    virtual int32_t CloseSettings(int32_t apply);
    // Slot 10: the panel's messages, routed by SettingsDialogProc.
    virtual INT_PTR OnSettingsMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Slot 11: starts the clock; returns 1.
    virtual int32_t Begin(uint32_t durationMs);
    // Slot 12: draws the frame for the elapsed time; 1 drawn, 0 not drawn.
    virtual int32_t Step(HostSurface* dest, HostSurface* oldFrame, HostSurface* newFrame, int32_t flags,
                         ChangedRect** changed);
    // Slot 13: Fade's extended step.
    virtual int32_t StepEx(HostSurface* dest, int32_t x, int32_t y, HostSurface* oldFrame, HostSurface* newFrame,
                           int32_t flags, int32_t reserved, int32_t mode, int32_t op, HostParam param,
                           int32_t blitFlags);
    // Slot 14.
    virtual void End();
    // Slot 15: 1 when not running or when the run's end has passed (reads the timer).
    virtual int32_t IsFinished();
    // Slot 16: elapsed ms as of the last clock read.
    virtual uint32_t GetElapsed();
    // Slot 17: moves the run so that `elapsedMs` have passed; returns the new start.
    virtual uint32_t SetElapsed(uint32_t elapsedMs);
    // Slot 18: jumps the clock to the end and asks the next step to redo its set-up.
    virtual void Finish();

    // The clock read of every step: the elapsed ms, 0 to duration (more only after a
    // negative SetElapsed, until the timer catches up with the new start).
    uint32_t UpdateElapsed();

    // The transition's scratch surface, made on the first call after `model` (its size,
    // depth, driver, key colour and 8-bit palette) and the same surface afterwards, as
    // long as the model keeps the size, depth and palette the surface was made for;
    // otherwise it is made again. Null when the host could not make or allocate it; a
    // later call tries again.
    HostSurface* WorkSurface(HostSurface* model);

    // The one dialog procedure of all settings panels.
    static INT_PTR CALLBACK SettingsDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Read-only views for hosts, tools and tests.
    int32_t NameId() const { return nameId; }
    int32_t DialogId() const { return dialogId; }
    HWND Dialog() const { return dialog; }
    uint32_t Duration() const { return duration; }
    bool Running() const { return running != 0; }
    bool FirstStep() const { return firstStep != 0; }

protected:
    // The shifted timer reading of this run.
    uint32_t ShiftedTime() const;
    // Whether the shifted time `t` has reached the run's end. When the end lies past
    // the timer's wrap (end < start), the times in [end, start) are past the run.
    bool PastEnd(uint32_t t) const;
    // Runs a drawing body and turns anything it throws into a step result of 0.
    template <typename Body> static int32_t Guarded(Body&& body) noexcept {
        try {
            return body();
        } catch (...) {
            return 0;
        }
    }

    // The opening that most steps share. On the first step of a run the new frame's size
    // is kept in `width` and `height` and `setUp` starts the run's own state; then the
    // clock is read. Answers the elapsed time, or nothing when the destination cannot be
    // drawn on (the step then answers 0). A throw while measuring leaves the run to be
    // set up by the next step.
    template <typename SetUp>
    std::optional<uint32_t> OpenStep(HostSurface* dest, HostSurface* newFrame, uint32_t& width, uint32_t& height,
                                     SetUp&& setUp) {
        if (firstStep != 0) {
            width = static_cast<uint32_t>(newFrame->Width());
            height = static_cast<uint32_t>(newFrame->Height());
            setUp();
            firstStep = 0;
        }
        const uint32_t e = UpdateElapsed();
        if (dest->IsReady() == 0) {
            return std::nullopt;
        }
        return e;
    }
    std::optional<uint32_t> OpenStep(HostSurface* dest, HostSurface* newFrame, uint32_t& width, uint32_t& height) {
        return OpenStep(dest, newFrame, width, height, [] {});
    }

    // What OpenStepInRun decided: the step's answer when it ends in the opening, else
    // the elapsed time, within the run.
    struct Opening {
        std::optional<int32_t> answer;
        uint32_t elapsed = 0;
    };
    // OpenStep for the steps that show the new frame whole once the run is past its end.
    template <typename SetUp>
    Opening OpenStepInRun(HostSurface* dest, HostSurface* newFrame, uint32_t& width, uint32_t& height, SetUp&& setUp) {
        const std::optional<uint32_t> e = OpenStep(dest, newFrame, width, height, setUp);
        if (!e) {
            return {0};
        }
        if (*e > duration) {
            return {StepResult(newFrame->CopyAll(dest))};
        }
        return {std::nullopt, *e};
    }
    Opening OpenStepInRun(HostSurface* dest, HostSurface* newFrame, uint32_t& width, uint32_t& height) {
        return OpenStepInRun(dest, newFrame, width, height, [] {});
    }

    int32_t nameId = 0;
    int32_t dialogId = 0;
    HWND dialog = nullptr;
    uint32_t start = 0;
    uint32_t now = 0;
    uint32_t end = 1;
    uint32_t duration = 1;
    int32_t wrapped = 0;
    int32_t running = 0;
    int32_t firstStep = 0;
    HostSurface* workSurface = nullptr;

private:
    void DestroyPanel();
    void ReleaseWorkSurface();

    // What the work surface was made for.
    int32_t workWidth = 0;
    int32_t workHeight = 0;
    int32_t workDepth = 0;
    HostPalette* workPalette = nullptr;

    // The parameter block when the panel was last opened; openedBlockSize is 0 when
    // there is no copy to go back to.
    uint8_t openedBlock[kMaxBlockSize] = {};
    int32_t openedBlockSize = 0;
};

} // namespace wqtrans
