// The module's API for JavaScript (embind), as the browser page and its tests use it:
//
//   const wq = await createWqtrans({wasmBinary});
//   wq.transitions()            -> [{index, id: "FADE", name, mode, hasPanel, panelWidth,
//                                   panelHeight, block: Uint8Array}, ...]
//   const e = wq.Editor.create("SE07", block | null)   // null for an unknown ID or a bad block
//   e.openPanel(); e.controls()  -> [{id, kind, className, text, x, y, width, height,
//                                     checked, position, rangeMin, rangeMax, enabled,
//                                     group, tabStop, style}, ...]  (dialog units)
//   e.click(id); e.moveTrackBar(id, n); e.moveUpDown(id, n); e.type(id, "12")
//   e.takePreviewRequest()      -> true once after the panel asked for a fresh preview
//   e.block(); e.closePanel(apply); e.delete()
//   const s = new wq.Stage(width, height)
//   s.setFit("contain" | "cover" | "stretch", 0xRRGGBB) -> bool   // for the next pictures
//   s.setPicture(isNew, width, height, rgba)   // fitted to the stage as the tool fits it
//   s.render(id, block, seed, flags, durationMs, elapsedMs, fps) -> bool
//                               // as the frame of a run at fps shown at elapsedMs
//   s.render(id, block, seed, flags, durationMs, elapsedMs, fps, ease, reverse) -> bool
//                               // eased by the curve named (as the tool's --ease), and
//                               // the mirror run when reverse (--reverse); an Error
//                               // for a curve that is none
//   wq.curves()                 -> ["linear", "ease", ...]: the named curves
//   s.pixels()                  -> the RGBA frame: a view on the module's memory, good
//                                  until the next call (an ImageData can wrap it)
//
// Everything goes through the module's exports, its adapter table and the automation
// API, as any other host of the module does.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "host/Motion.h"
#include "host/SoftwareSurface.h"
#include "module/Exports.h"
#include "module/Registry.h"
#include "platform/Automation.h"
#include "resources/Resources.h"
#include "web/Pixels.h"

namespace wqtrans::web {

namespace {

using emscripten::val;

// Strings cross as UTF-16 code units, which is what both sides hold.
val JsString(const char16_t* text, size_t length) {
    val units = val::array();
    for (size_t i = 0; i < length; ++i) {
        units.call<void>("push", static_cast<int>(text[i]));
    }
    return val::global("String")["fromCharCode"].call<val>("apply", val::null(), units);
}

val JsString(const std::u16string& text) { return JsString(text.data(), text.size()); }

std::u16string NativeString(const val& text) {
    std::u16string out;
    const int length = text["length"].as<int>();
    for (int i = 0; i < length; ++i) {
        out += static_cast<char16_t>(text.call<int>("charCodeAt", i));
    }
    return out;
}

val Bytes(const std::vector<uint8_t>& bytes) {
    return val::global("Uint8Array").new_(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

// Throws a JavaScript Error. The throw unwinds the wasm stack without running
// destructors, so callers check before they own anything.
[[noreturn]] void ThrowError(const char* message) { val::global("Error").new_(val(message)).throw_(); }

// A Uint8Array, Uint8ClampedArray (a canvas's ImageData) or array of whole numbers
// 0 to 255 as bytes; empty for null or undefined. Anything else (a string, 300, -1,
// NaN, an object) is an Error naming `what`, not a byte quietly made of it.
std::vector<uint8_t> NativeBytes(const val& bytes, const char* what) {
    if (bytes.isNull() || bytes.isUndefined()) {
        return {};
    }
    static char message[160];
    if (!bytes.instanceof (val::global("Uint8Array")) && !bytes.instanceof (val::global("Uint8ClampedArray"))) {
        if (!bytes.isArray()) {
            std::snprintf(message, sizeof message,
                          "%s must be a Uint8Array, a Uint8ClampedArray or an array of bytes (0 to 255)", what);
            ThrowError(message);
        }
        const int length = bytes["length"].as<int>();
        for (int i = 0; i < length; ++i) {
            const val item = bytes[i];
            const double value = item.isNumber() ? item.as<double>() : -1;
            if (!(value >= 0 && value <= 255 && value == static_cast<int>(value))) {
                std::snprintf(message, sizeof message, "%s[%d] is not a byte (a whole number 0 to 255)", what, i);
                ThrowError(message);
            }
        }
    }
    return emscripten::convertJSArrayToNumberVector<uint8_t>(bytes);
}

// The pixel budget of the tool: 16384 a side and 2^26 pixels in all, so that a
// picture's bytes stay far below the 32-bit address space.
constexpr int64_t kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t{1} << 26;

bool WithinBudget(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

// "FADE" -> the ID; 0 for anything but four characters of one byte each.
uint32_t IdOf(const std::string& text) {
    if (text.size() != 4) {
        return 0;
    }
    return MakeId(text[0], text[1], text[2], text[3]);
}

std::string IdText(uint32_t id) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += static_cast<char>((id >> (8 * i)) & 0xFF);
    }
    return text;
}

struct AdapterDeleter {
    void operator()(TransitionAdapter* adapter) const { adapter->table->Delete(adapter); }
};
using Adapter = std::unique_ptr<TransitionAdapter, AdapterDeleter>;

// A fresh instance of `id` given `block` (none: the defaults); null for an unknown ID
// or a block whose size is not the transition's.
Adapter Create(uint32_t id, const std::vector<uint8_t>& block) {
    Adapter adapter(
        CreateTransition(0, id, block.empty() ? nullptr : block.data(), static_cast<uint32_t>(block.size())));
    if (adapter && !block.empty() &&
        adapter->table->GetParameters(adapter.get(), nullptr) != static_cast<int32_t>(block.size())) {
        adapter.reset();
    }
    return adapter;
}

} // namespace

val Transitions() {
    val list = val::array();
    const int32_t count = GetTransCount();
    for (int32_t index = 0; index < count; ++index) {
        char16_t name[64] = {};
        const int32_t length = GetTransName(index, name, 64);
        const uint32_t id = GetTransID(index);
        const resources::DialogTemplate* dialog = resources::FindDialog(RegistryTable()[index].dialogId);
        val entry = val::object();
        entry.set("index", index);
        entry.set("id", IdText(id));
        entry.set("name", JsString(name, static_cast<size_t>(std::max(length, 0))));
        entry.set("mode", GetTransMode(index));
        entry.set("hasPanel", dialog != nullptr);
        entry.set("panelWidth", dialog != nullptr ? dialog->width : 0);
        entry.set("panelHeight", dialog != nullptr ? dialog->height : 0);
        const Adapter fresh = Create(id, {});
        entry.set("block", Bytes(fresh ? ParameterBlock(fresh.get()) : std::vector<uint8_t>{}));
        list.call<void>("push", entry);
    }
    return list;
}

val Curves() {
    val list = val::array();
    for (const std::string& name : MotionCurve::Names()) {
        list.call<void>("push", name);
    }
    return list;
}

// One instance of a transition with its settings panel, as an author edits it.
class Editor {
public:
    static Editor* Create(const std::string& id, const val& block) {
        Adapter adapter = web::Create(IdOf(id), NativeBytes(block, "block"));
        return adapter ? new Editor(std::move(adapter)) : nullptr;
    }
    ~Editor() { ClosePanel(1); }

    std::string Id() const { return IdText(adapter->table->ID(adapter.get())); }
    val Block() const { return Bytes(ParameterBlock(adapter.get())); }

    // Opens the panel (false when the transition has none). The instance is kept in a
    // run whose clock never moves, so that the panel's preview request, which jumps
    // the run to its end, shows as elapsed time.
    bool OpenPanel() {
        if (panel == nullptr) {
            panel = adapter->table->OpenSettings(adapter.get(), nullptr, 0);
            Rearm();
        }
        return panel != nullptr;
    }
    void ClosePanel(int apply) {
        if (panel != nullptr) {
            adapter->table->End(adapter.get());
            adapter->table->CloseSettings(adapter.get(), apply);
            panel = nullptr;
        }
    }

    val Controls() const {
        val list = val::array();
        for (const automation::ControlInfo& control : automation::Controls(panel)) {
            val entry = val::object();
            entry.set("id", control.id);
            entry.set("kind", std::string(automation::KindName(control.kind)));
            entry.set("className", control.className);
            entry.set("text", JsString(control.text));
            entry.set("x", control.x);
            entry.set("y", control.y);
            entry.set("width", control.width);
            entry.set("height", control.height);
            entry.set("checked", control.checked);
            entry.set("position", control.position);
            entry.set("rangeMin", control.rangeMin);
            entry.set("rangeMax", control.rangeMax);
            entry.set("enabled", (control.style & WS_DISABLED) == 0);
            entry.set("visible", (control.style & WS_VISIBLE) != 0);
            entry.set("group", (control.style & WS_GROUP) != 0);
            entry.set("tabStop", (control.style & WS_TABSTOP) != 0);
            entry.set("style", control.style);
            list.call<void>("push", entry);
        }
        return list;
    }

    bool Click(int id) { return Acted(automation::Click(panel, id)); }
    bool MoveTrackBar(int id, int position) { return Acted(automation::MoveTrackBar(panel, id, position)); }
    bool MoveUpDown(int id, int position) { return Acted(automation::MoveUpDown(panel, id, position)); }
    bool Type(int id, const val& text) { return Acted(automation::Type(panel, id, NativeString(text))); }

    // Whether the panel asked for a fresh preview since the last call.
    bool TakePreviewRequest() {
        const bool asked = previewAsked;
        previewAsked = false;
        return asked;
    }

private:
    static constexpr uint32_t kWatchMs = 1000;

    explicit Editor(Adapter adapter) : adapter(std::move(adapter)) {}

    void Rearm() {
        if (panel != nullptr) {
            adapter->table->Begin(adapter.get(), kWatchMs);
        }
    }
    bool Acted(bool done) {
        if (panel != nullptr && adapter->table->Elapsed(adapter.get()) != 0) {
            previewAsked = true;
            Rearm();
        }
        return done;
    }

    Adapter adapter;
    HWND panel = nullptr;
    bool previewAsked = false;
};

// The old and new pictures at one size and the frame drawn between them.
class Stage {
public:
    Stage(int width, int height) : oldPicture(width, height), newPicture(width, height), frame(width, height) {}

    // `new Stage(width, height)`: an Error with a message for a size over the pixel
    // budget or memory the page cannot have, not a bare exception pointer.
    static Stage* Make(int width, int height) {
        static char message[160];
        if (!WithinBudget(width, height)) {
            std::snprintf(message, sizeof message,
                          "Stage: %dx%d is not a size from 1x1 within 16384 a side and 67108864 pixels in all", width,
                          height);
            ThrowError(message);
        }
        Stage* stage = nullptr;
        try {
            stage = new Stage(width, height);
        } catch (const std::bad_alloc&) {
        }
        if (stage == nullptr) {
            std::snprintf(message, sizeof message, "Stage: out of memory for %dx%d", width, height);
            ThrowError(message);
        }
        return stage;
    }

    int Width() { return frame.Width(); }
    int Height() { return frame.Height(); }

    // How pictures of another shape are fitted from now on, as the tool's --fit and
    // --background (contain on black unless told). False for an unknown mode.
    bool SetFit(const std::string& mode, uint32_t background) {
        const std::optional<FitMode> named = FitModeNamed(mode);
        if (!named) {
            return false;
        }
        fit = *named;
        this->background = background & 0xFFFFFFu;
        return true;
    }

    // Takes RGBA pixels of any size: the stage's size as they are, another fitted to
    // the stage as the tool fits it. Frames are opaque, so alpha is dropped. False for a
    // size that does not match the bytes or is over the pixel budget; an Error for
    // pixels that are not bytes.
    //
    // The pictures are kept in the canvas's byte order (R, G, B, 255), so that frames
    // are drawn in it and go to the canvas as they are: the transitions copy, stretch
    // and blend every colour channel alike and keep the destination's top byte, and the
    // surfaces' key colour, black, reads the same in either order.
    bool SetPicture(bool isNew, int width, int height, const val& pixels) {
        // The size is checked in 64 bits: width x height x 4 wraps in the wasm's 32-bit
        // size_t (65536 x 65536 x 4 is 0).
        if (!WithinBudget(width, height)) {
            return false;
        }
        const std::vector<uint8_t> bytes = NativeBytes(pixels, "pixels");
        if (static_cast<uint64_t>(bytes.size()) != static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4) {
            return false;
        }
        SoftwareSurface& target = isNew ? newPicture : oldPicture;
        if (width == target.Width() && height == target.Height()) {
            uint32_t* out = target.Pixels();
            std::memcpy(out, bytes.data(), bytes.size());
            for (size_t i = 0; i < bytes.size() / 4; ++i) {
                out[i] |= kOpaque;
            }
        } else {
            FitPicture(bytes.data(), width, height, fit, background, target);
            ToCanvasBytes(target.Pixels(), static_cast<size_t>(target.Width()) * static_cast<size_t>(target.Height()));
        }
        return true;
    }

    // `fps` is the page's frame rate: a transition that depends on its earlier steps is
    // replayed at the frame times of a run at that rate (0: 25 frames a second).
    bool Render(const std::string& id, const val& block, uint32_t seed, int flags, uint32_t durationMs,
                uint32_t elapsedMs, uint32_t fps) {
        FrameRequest request{IdOf(id), NativeBytes(block, "block"), seed, flags, durationMs, elapsedMs};
        request.frameRateNum = fps;
        return RenderFrameAt(request, oldPicture, newPicture, frame);
    }
    bool RenderWithMotion(const std::string& id, const val& block, uint32_t seed, int flags, uint32_t durationMs,
                          uint32_t elapsedMs, uint32_t fps, const std::string& ease, bool reverse) {
        static char message[400];
        std::string error;
        const std::optional<MotionCurve> curve = MotionCurve::Parse(ease, &error);
        if (!curve) {
            std::snprintf(message, sizeof message, "ease: %s", error.c_str());
            ThrowError(message);
        }
        FrameRequest request{IdOf(id), NativeBytes(block, "block"), seed, flags, durationMs, elapsedMs};
        request.frameRateNum = fps;
        request.ease = *curve;
        request.reverse = reverse;
        return RenderFrameAt(request, oldPicture, newPicture, frame);
    }

    val Pixels() {
        return val(emscripten::typed_memory_view(PixelCount() * 4, reinterpret_cast<const uint8_t*>(frame.Pixels())));
    }

private:
    // The alpha byte of a pixel in canvas order, on the little-endian wasm.
    static constexpr uint32_t kOpaque = 0xFF000000u;

    size_t PixelCount() { return static_cast<size_t>(frame.Width()) * static_cast<size_t>(frame.Height()); }

    SoftwareSurface oldPicture;
    SoftwareSurface newPicture;
    SoftwareSurface frame;
    FitMode fit = FitMode::Contain;
    uint32_t background = 0x000000;
};

EMSCRIPTEN_BINDINGS(wqtrans) {
    emscripten::function("transitions", &Transitions);
    emscripten::function("curves", &Curves);
    emscripten::class_<Editor>("Editor")
        .class_function("create", &Editor::Create, emscripten::allow_raw_pointers())
        .function("id", &Editor::Id)
        .function("block", &Editor::Block)
        .function("openPanel", &Editor::OpenPanel)
        .function("closePanel", &Editor::ClosePanel)
        .function("controls", &Editor::Controls)
        .function("click", &Editor::Click)
        .function("moveTrackBar", &Editor::MoveTrackBar)
        .function("moveUpDown", &Editor::MoveUpDown)
        .function("type", &Editor::Type)
        .function("takePreviewRequest", &Editor::TakePreviewRequest);
    emscripten::class_<Stage>("Stage")
        .constructor(&Stage::Make, emscripten::allow_raw_pointers())
        .function("width", &Stage::Width)
        .function("height", &Stage::Height)
        .function("setFit", &Stage::SetFit)
        .function("setPicture", &Stage::SetPicture)
        .function("render", &Stage::Render)
        .function("render", &Stage::RenderWithMotion)
        .function("pixels", &Stage::Pixels);
}

} // namespace wqtrans::web
