// The Python module `wqtrans`: the transitions on NumPy frames, through the frame
// renderer (host/FrameRenderer.h) and the settings panels' shared reading
// (host/PanelSettings.h). It checks what Python hands it, turns arrays into reference
// surfaces and back, and lets go of the GIL while pixels are drawn or converted.
//
// Frames are uint8 arrays of shape (H, W, 3) or (H, W, 4). Their bytes go through the
// module in the order they come: the transitions copy, stretch and blend with one
// weight for all channels, so any channel order gives the same bytes. An RGB frame is
// drawn with an opaque alpha, which is dropped again on the way out.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/FrameRenderer.h"
#include "host/PanelSettings.h"
#include "host/PixelBudget.h"
#include "host/PixelFormat.h"
#include "host/RunTimeline.h"
#include "host/SoftwareSurface.h"
#include "module/Exports.h"
#include "module/TransitionAdapter.h"
#include "platform/Automation.h"

namespace py = pybind11;

namespace wqtrans::python {

namespace {

using automation::ControlKind;

// ---- The catalog ---------------------------------------------------------------

struct AdapterDeleter {
    void operator()(TransitionAdapter* adapter) const {
        if (adapter != nullptr) {
            adapter->table->Delete(adapter);
        }
    }
};
using Instance = std::unique_ptr<TransitionAdapter, AdapterDeleter>;

struct Transition {
    int32_t index = 0;
    uint32_t id = 0;
    std::string idText;
    std::string name;
    std::vector<uint8_t> defaults; // a fresh instance's block
};

const std::vector<Transition>& Catalog() {
    static const std::vector<Transition> catalog = [] {
        std::vector<Transition> list;
        for (int32_t index = 0; index < GetTransCount(); ++index) {
            Transition info;
            info.index = index;
            info.id = GetTransID(index);
            info.idText = std::string(reinterpret_cast<const char*>(&info.id), 4);
            char16_t name[128] = {};
            const int32_t length = GetTransName(index, name, 128);
            info.name = panel::Utf8(std::u16string(name, static_cast<size_t>(std::clamp(length, 0, 127))));
            Instance instance(CreateTransition(0, info.id, nullptr, 0));
            if (instance) {
                info.defaults = ParameterBlock(instance.get());
            }
            list.push_back(std::move(info));
        }
        return list;
    }();
    return catalog;
}

// Lower case without spaces, '-' and '_', as the tool matches names: "Stretch 2",
// "stretch-2" and "STRETCH2" meet.
std::string NameKey(const std::string& text) {
    std::string key;
    for (char c : text) {
        if (c != ' ' && c != '-' && c != '_') {
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
    }
    return key;
}

const Transition& Find(const py::object& name) {
    if (!py::isinstance<py::str>(name)) {
        throw py::type_error("the transition is named by a str (a name or an ID such as \"SE07\"), not " +
                             std::string(py::str(py::type::of(name).attr("__name__"))));
    }
    const std::string text = name.cast<std::string>();
    for (const Transition& info : Catalog()) {
        if (NameKey(info.name) == NameKey(text) || NameKey(info.idText) == NameKey(text)) {
            return info;
        }
    }
    std::string names;
    for (const Transition& info : Catalog()) {
        names += (names.empty() ? "" : ", ") + info.name;
    }
    throw py::value_error("unknown transition \"" + text + "\"; choose one of: " + names +
                          " (or an ID such as \"SE07\")");
}

// ---- Whole numbers ---------------------------------------------------------------

// A Python int (or a NumPy integer) within [low, high]; never a float or a bool.
int64_t WholeNumber(const py::handle& value, const char* what, int64_t low, int64_t high) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be an int, not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    const py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
    if (!number) {
        throw py::error_already_set();
    }
    int overflow = 0;
    const long long result = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0 || result < low || result > high) {
        throw py::value_error(std::string(what) + " must be from " + std::to_string(low) + " to " +
                              std::to_string(high) + ", not " + std::string(py::repr(number)));
    }
    return result;
}

constexpr int64_t kMaxUint32 = 0xFFFFFFFFll;
// The rate of the tool's render when --fps is not given, and of frames() by default.
constexpr uint32_t kRenderFps = 30;

// ---- Blocks and settings ---------------------------------------------------------

std::vector<uint8_t> BlockArgument(const Transition& info, const py::object& block) {
    if (block.is_none()) {
        return info.defaults;
    }
    if (py::isinstance<py::str>(block) || !PyObject_CheckBuffer(block.ptr())) {
        throw py::type_error("a block is bytes (or another bytes-like object), not " +
                             std::string(py::str(py::type::of(block).attr("__name__"))));
    }
    const py::buffer_info view = py::reinterpret_borrow<py::buffer>(block).request();
    if (view.itemsize != 1 || view.ndim != 1 || (view.ndim == 1 && view.strides[0] != 1)) {
        throw py::value_error("a block is a contiguous run of bytes");
    }
    std::vector<uint8_t> bytes(static_cast<const uint8_t*>(view.ptr),
                               static_cast<const uint8_t*>(view.ptr) + view.size);
    if (info.defaults.empty()) {
        throw py::value_error(info.name + " has no parameters, so it takes no block");
    }
    if (bytes.size() != info.defaults.size()) {
        throw py::value_error("a block for " + info.name + " has " + std::to_string(info.defaults.size()) +
                              " bytes, not " + std::to_string(bytes.size()));
    }
    return bytes;
}

// A fresh instance made with `block`, its panel open; closed with apply when it goes.
class OpenPanel {
public:
    OpenPanel(const Transition& info, const std::vector<uint8_t>& block)
        : instance(CreateTransition(0, info.id, block.empty() ? nullptr : block.data(),
                                    static_cast<uint32_t>(block.size()))) {
        if (!instance) {
            throw std::runtime_error("the module could not create " + info.name);
        }
        window = instance->table->OpenSettings(instance.get(), nullptr, 0);
    }
    ~OpenPanel() { Close(); }
    OpenPanel(const OpenPanel&) = delete;
    OpenPanel& operator=(const OpenPanel&) = delete;
    HWND Window() const { return window; }
    // Closes the panel with apply and gives the block it leaves.
    std::vector<uint8_t> Close() {
        if (window != nullptr) {
            instance->table->CloseSettings(instance.get(), 1);
            window = nullptr;
        }
        return ParameterBlock(instance.get());
    }

private:
    Instance instance;
    HWND window = nullptr;
};

// A Python value as the tool's --set takes it: True / False as on / off, ints as
// numbers, strs as they are, and an entry of settings() by its "value".
std::string SettingText(const std::string& label, py::handle value) {
    if (py::isinstance<py::dict>(value) && value.cast<py::dict>().contains("value")) {
        value = value.cast<py::dict>()["value"];
    }
    if (PyBool_Check(value.ptr())) {
        return value.ptr() == Py_True ? "on" : "off";
    }
    if (py::isinstance<py::str>(value)) {
        return value.cast<std::string>();
    }
    if (PyIndex_Check(value.ptr())) {
        return std::to_string(WholeNumber(value, ("\"" + label + "\"").c_str(), INT32_MIN, INT32_MAX));
    }
    throw py::type_error("\"" + label + "\" takes a bool, an int or a str, not " +
                         std::string(py::str(py::type::of(value).attr("__name__"))));
}

// The block of `info` from `base` with `settings` ({label: value}) applied on its panel
// as a person would.
std::vector<uint8_t> Apply(const Transition& info, std::vector<uint8_t> base, const py::object& settings) {
    if (settings.is_none()) {
        return base;
    }
    if (!py::isinstance<py::dict>(settings)) {
        throw py::type_error("settings are a dict of {label: value}, not " +
                             std::string(py::str(py::type::of(settings).attr("__name__"))));
    }
    const py::dict items = settings.cast<py::dict>();
    if (items.empty()) {
        return base;
    }
    OpenPanel panel(info, base);
    if (panel.Window() == nullptr) {
        throw py::value_error(info.name + " has no settings panel, so it takes no settings");
    }
    // Radio buttons set to False are left by choosing another of their group: checked
    // once all the others are applied.
    std::vector<std::string> unchosen;
    for (const auto& [key, value] : items) {
        if (!py::isinstance<py::str>(key)) {
            throw py::type_error("settings are keyed by the labels on the panel (str)");
        }
        const std::string label = key.cast<std::string>();
        const std::string text = SettingText(label, value);
        try {
            if (text == "off") {
                const std::optional<panel::Field> field = panel::FieldOf(panel.Window(), label);
                if (field && field->kind == ControlKind::RadioButton) {
                    unchosen.push_back(field->name);
                    continue;
                }
            }
            panel::Apply(panel.Window(), info.name, label + "=" + text);
        } catch (const panel::SettingError& e) {
            throw py::value_error(e.what());
        }
    }
    for (const panel::Field& field : panel::Fields(panel.Window())) {
        if (field.kind == ControlKind::RadioButton && field.on &&
            std::find(unchosen.begin(), unchosen.end(), field.name) != unchosen.end()) {
            throw py::value_error("\"" + field.name +
                                  "\" is a radio button set to False, but no other button of its group is chosen");
        }
    }
    return panel.Close();
}

const char* FieldKind(ControlKind kind) {
    return kind == ControlKind::GroupBox ? "choice"
           : kind == ControlKind::Edit   ? "edit box"
                                         : automation::KindName(kind);
}

py::dict Settings(const py::object& name, const py::object& block) {
    const Transition& info = Find(name);
    OpenPanel panel(info, BlockArgument(info, block));
    py::dict out;
    if (panel.Window() == nullptr) {
        return out;
    }
    for (const panel::Field& field : panel::Fields(panel.Window())) {
        py::dict entry;
        entry["kind"] = FieldKind(field.kind);
        switch (field.kind) {
        case ControlKind::RadioButton:
        case ControlKind::CheckBox:
            entry["value"] = py::bool_(field.on);
            break;
        case ControlKind::GroupBox:
            entry["value"] = field.choice.empty() ? py::object(py::none()) : py::object(py::str(field.choice));
            entry["choices"] = py::cast(field.choices);
            break;
        case ControlKind::TrackBar:
        case ControlKind::UpDown:
            entry["value"] = field.position;
            break;
        case ControlKind::Edit: {
            entry["value"] = field.text;
            if (field.range) {
                try {
                    entry["value"] = std::stoi(field.text);
                } catch (const std::exception&) {
                }
            }
            break;
        }
        default:
            entry["value"] = py::none();
        }
        if (field.range) {
            entry["min"] = field.range->first;
            entry["max"] = field.range->second;
        }
        out[py::str(field.name)] = entry;
    }
    return out;
}

py::bytes Block(const py::object& name, const py::object& settings, const py::object& base) {
    const Transition& info = Find(name);
    const std::vector<uint8_t> block = Apply(info, BlockArgument(info, base), settings);
    return py::bytes(reinterpret_cast<const char*>(block.data()), block.size());
}

// ---- Frames ------------------------------------------------------------------------

// What is read from a frame array while the GIL is held, so that its pixels can be
// read or written without it.
struct Frame {
    py::array array;
    uint8_t* data = nullptr;
    int64_t height = 0, width = 0, channels = 0;
    int64_t strides[3] = {};

    // C-contiguous RGBA on a 4-byte boundary: a surface can lie over its memory.
    bool Packed() const {
        return channels == 4 && strides[2] == 1 && strides[1] == 4 && strides[0] == 4 * width &&
               reinterpret_cast<uintptr_t>(data) % alignof(uint32_t) == 0;
    }
    // C-contiguous RGB or BGR: a surface of 3-byte pixels can lie over its memory.
    bool PackedTriples() const {
        return channels == 3 && strides[2] == 1 && strides[1] == 3 && strides[0] == 3 * width;
    }
    // Whether a surface can lie over the frame's memory.
    bool InPlace() const { return Packed() || PackedTriples(); }
    // Whether no two elements share a byte, so that writes do not land on each other.
    bool Distinct() const {
        std::array<std::pair<int64_t, int64_t>, 3> dims = {
            {{std::abs(strides[0]), height}, {std::abs(strides[1]), width}, {std::abs(strides[2]), channels}}};
        std::sort(dims.begin(), dims.end());
        int64_t extent = 1;
        for (const auto& [stride, size] : dims) {
            if (size > 1 && stride < extent) {
                return false;
            }
            extent = std::max(extent, stride * size);
        }
        return true;
    }
    std::string Shape() const {
        return "(" + std::to_string(height) + ", " + std::to_string(width) + ", " + std::to_string(channels) + ")";
    }
};

std::string ShapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t i = 0; i < array.ndim(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(array.shape(i));
    }
    return text + (array.ndim() == 1 ? ",)" : ")");
}

Frame FrameArgument(const py::object& value, const char* what, bool writable) {
    if (!py::isinstance<py::array>(value)) {
        throw py::type_error(std::string(what) + " must be a numpy.ndarray of uint8, not " +
                             std::string(py::str(py::type::of(value).attr("__name__"))));
    }
    Frame frame;
    frame.array = value.cast<py::array>();
    const py::dtype dtype = frame.array.dtype();
    if (dtype.kind() != 'u' || dtype.itemsize() != 1) {
        throw py::type_error(std::string(what) + " must be an array of uint8, not " +
                             std::string(py::str(static_cast<const py::object&>(dtype))) +
                             " (convert it with .astype(numpy.uint8) if that is what you mean)");
    }
    if (frame.array.ndim() != 3 || (frame.array.shape(2) != 3 && frame.array.shape(2) != 4)) {
        throw py::value_error(std::string(what) +
                              " must have the shape (height, width, 3) or (height, width, 4), not " +
                              ShapeText(frame.array));
    }
    frame.height = frame.array.shape(0);
    frame.width = frame.array.shape(1);
    frame.channels = frame.array.shape(2);
    const std::string problem = OverBudget(frame.width, frame.height);
    if (!problem.empty()) {
        throw py::value_error(std::string(what) + " is " + problem);
    }
    for (int i = 0; i < 3; ++i) {
        frame.strides[i] = frame.array.strides(i);
    }
    if (writable) {
        if (!frame.array.writeable()) {
            throw py::value_error(std::string(what) + " is read-only");
        }
        if (!frame.Distinct()) {
            throw py::value_error(std::string(what) + " has strides under which pixels share memory, so it cannot "
                                                      "be drawn into");
        }
        frame.data = static_cast<uint8_t*>(frame.array.mutable_data());
    } else {
        frame.data = const_cast<uint8_t*>(static_cast<const uint8_t*>(frame.array.data()));
    }
    return frame;
}

// Whether a frame's pixels lie side by side in each row (any row stride).
bool RowsPacked(const Frame& frame) { return frame.strides[2] == 1 && frame.strides[1] == frame.channels; }

// Copies a frame into a surface, as 0xAA'C2'C1'C0 words (C0 the first byte); RGB
// frames get an opaque alpha. Rows of side-by-side pixels go through the shared
// conversion (host/PixelFormat.h) or a copy; other layouts pixel by pixel.
void ReadInto(const Frame& frame, SoftwareSurface& surface) {
    uint32_t* out = surface.Pixels();
    const auto width = static_cast<std::size_t>(frame.width);
    if (RowsPacked(frame) && frame.channels == 3) {
        ReadTriples(frame.data, frame.strides[0], surface);
        return;
    }
    if (RowsPacked(frame)) {
        for (int64_t y = 0; y < frame.height; ++y) {
            std::memcpy(out + y * frame.width, frame.data + y * frame.strides[0], width * 4);
        }
        return;
    }
    for (int64_t y = 0; y < frame.height; ++y) {
        const uint8_t* row = frame.data + y * frame.strides[0];
        uint32_t* line = out + y * frame.width;
        const int64_t sx = frame.strides[1];
        const int64_t sc = frame.strides[2];
        if (frame.channels == 4) {
            for (int64_t x = 0; x < frame.width; ++x) {
                const uint8_t* p = row + x * sx;
                line[x] = p[0] | uint32_t{p[sc]} << 8 | uint32_t{p[2 * sc]} << 16 | uint32_t{p[3 * sc]} << 24;
            }
        } else {
            for (int64_t x = 0; x < frame.width; ++x) {
                const uint8_t* p = row + x * sx;
                line[x] = p[0] | uint32_t{p[sc]} << 8 | uint32_t{p[2 * sc]} << 16 | 0xFF000000u;
            }
        }
    }
}

void WriteFrom(SoftwareSurface& surface, const Frame& frame) {
    const uint32_t* in = surface.Pixels();
    const auto width = static_cast<std::size_t>(frame.width);
    if (RowsPacked(frame) && frame.channels == 3) {
        WriteTriples(surface, frame.data, frame.strides[0]);
        return;
    }
    if (RowsPacked(frame)) {
        for (int64_t y = 0; y < frame.height; ++y) {
            std::memcpy(frame.data + y * frame.strides[0], in + y * frame.width, width * 4);
        }
        return;
    }
    for (int64_t y = 0; y < frame.height; ++y) {
        uint8_t* row = frame.data + y * frame.strides[0];
        const uint32_t* line = in + y * frame.width;
        const int64_t sx = frame.strides[1];
        const int64_t sc = frame.strides[2];
        for (int64_t x = 0; x < frame.width; ++x) {
            uint8_t* p = row + x * sx;
            const uint32_t word = line[x];
            p[0] = static_cast<uint8_t>(word);
            p[sc] = static_cast<uint8_t>(word >> 8);
            p[2 * sc] = static_cast<uint8_t>(word >> 16);
            if (frame.channels == 4) {
                p[3 * sc] = static_cast<uint8_t>(word >> 24);
            }
        }
    }
}

// A surface over pixel memory that the calling thread keeps from call to call, for the
// pictures a call converts (slots 0 and 1 the inputs, 2 the output): a call then takes
// and fills no fresh frames of memory. Its pixels are whatever the last call left.
SoftwareSurface ScratchSurface(int slot, int32_t width, int32_t height) {
    thread_local std::array<PixelBuffer, 3> buffers;
    PixelBuffer& buffer = buffers[static_cast<std::size_t>(slot)];
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    // Kept while it fits and is not more than twice the size asked for.
    if (buffer.size() < count || buffer.size() / 2 > count) {
        buffer = PixelBuffer(count, 0);
    }
    return SoftwareSurface::Over(width, height, buffer.data());
}

// The bytes from the lowest to the highest a frame reaches, the last one excluded.
std::pair<uintptr_t, uintptr_t> Extent(const Frame& frame) {
    const int64_t sizes[3] = {frame.height, frame.width, frame.channels};
    int64_t low = 0, high = 0;
    for (int i = 0; i < 3; ++i) {
        (frame.strides[i] < 0 ? low : high) += frame.strides[i] * (sizes[i] - 1);
    }
    const auto start = reinterpret_cast<uintptr_t>(frame.data);
    return {start + static_cast<uintptr_t>(low), start + static_cast<uintptr_t>(high) + 1};
}

// Whether two frames may share memory: their extents overlap (numpy.may_share_memory).
bool MayShare(const Frame& a, const Frame& b) {
    const auto [aLow, aHigh] = Extent(a);
    const auto [bLow, bHigh] = Extent(b);
    return aLow < bHigh && bLow < aHigh;
}

// A read-only surface over a frame that InPlace() accepts.
SoftwareSurface View(const Frame& frame) {
    const auto w = static_cast<int32_t>(frame.width);
    const auto h = static_cast<int32_t>(frame.height);
    return frame.channels == 3 ? SoftwareSurface::ReadOnlyOverTriples(w, h, frame.data)
                               : SoftwareSurface::ReadOnlyOver(w, h, reinterpret_cast<const uint32_t*>(frame.data));
}

// The pictures of a run, as surfaces: over packed arrays' memory, else copies.
struct Inputs {
    SoftwareSurface oldSurface, newSurface;
};

// Reads `old` and `next` into surfaces without the GIL: packed arrays that `out` does
// not touch are used where they lie.
void ReadInputs(const Frame& old, const Frame& next, const Frame* out, Inputs& inputs) {
    const bool oldInPlace = old.InPlace() && (out == nullptr || !MayShare(old, *out));
    const bool newInPlace = next.InPlace() && (out == nullptr || !MayShare(next, *out));
    const auto w = static_cast<int32_t>(old.width);
    const auto h = static_cast<int32_t>(old.height);
    py::gil_scoped_release release;
    inputs.oldSurface = oldInPlace ? View(old) : ScratchSurface(0, w, h);
    inputs.newSurface = newInPlace ? View(next) : ScratchSurface(1, w, h);
    if (!oldInPlace) {
        ReadInto(old, inputs.oldSurface);
    }
    if (!newInPlace) {
        ReadInto(next, inputs.newSurface);
    }
}

// Python's signal handlers for a long drawing that holds no GIL: on the main thread,
// the only one that runs them, the GIL is taken back at most every 10 ms to run them;
// once one raises (KeyboardInterrupt for Ctrl-C), its exception is left set for the
// caller to raise. Made with the GIL held.
struct SignalCheck {
    bool Raised() {
        const auto now = std::chrono::steady_clock::now();
        if (mainThread && !raised && now - last >= std::chrono::milliseconds(10)) {
            last = now;
            py::gil_scoped_acquire acquire;
            raised = PyErr_CheckSignals() != 0;
        }
        return raised;
    }
    const bool mainThread =
        py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>() ==
        PyThread_get_thread_ident();
    bool raised = false;
    std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
};

// Draws the request's picture into `out`, without the GIL. A signal that comes in the
// meantime (Ctrl-C) stops the drawing and raises its exception (KeyboardInterrupt).
void Draw(const FrameRequest& request, Inputs& inputs, const Frame& out) {
    FrameRequest checked = request;
    SignalCheck signals;
    checked.cancelled = [&signals] { return signals.Raised(); };
    bool drawn = false;
    {
        py::gil_scoped_release release;
        const auto w = static_cast<int32_t>(out.width);
        const auto h = static_cast<int32_t>(out.height);
        if (out.InPlace()) {
            SoftwareSurface target = out.channels == 3
                                         ? SoftwareSurface::OverTriples(w, h, out.data)
                                         : SoftwareSurface::Over(w, h, reinterpret_cast<uint32_t*>(out.data));
            drawn = RenderFrameAt(checked, inputs.oldSurface, inputs.newSurface, target);
        } else {
            SoftwareSurface target = ScratchSurface(2, w, h);
            drawn = RenderFrameAt(checked, inputs.oldSurface, inputs.newSurface, target);
            if (drawn) {
                WriteFrom(target, out);
            }
        }
    }
    if (signals.raised) {
        throw py::error_already_set();
    }
    if (!drawn) {
        throw std::runtime_error("the frame renderer could not draw the picture at " +
                                 std::to_string(request.elapsedMs) + " ms");
    }
}

// The parts of a request that frame_at and frames share.
struct RunArguments {
    const Transition* info = nullptr;
    FrameRequest request;
};

// ease= and reverse=: a curve's name or "cubic-bezier(x1,y1,x2,y2)", and a bool.
void ReadMotion(const py::object& ease, const py::object& reverse, FrameRequest& request) {
    if (!py::isinstance<py::str>(ease)) {
        throw py::type_error("ease must be a str (a curve's name such as \"ease-in-out\"), not " +
                             std::string(py::str(py::type::of(ease).attr("__name__"))));
    }
    std::string error;
    const std::optional<MotionCurve> curve = MotionCurve::Parse(ease.cast<std::string>(), &error);
    if (!curve) {
        throw py::value_error("ease: " + error);
    }
    if (!py::isinstance<py::bool_>(reverse)) {
        throw py::type_error("reverse must be a bool, not " +
                             std::string(py::str(py::type::of(reverse).attr("__name__"))));
    }
    request.ease = *curve;
    request.reverse = reverse.cast<bool>();
}

RunArguments ReadRun(const py::object& name, const py::object& durationMs, const py::object& settings,
                     const py::object& block, const py::object& seed, const py::object& flags, bool moduleLastStep,
                     const py::object& ease, const py::object& reverse) {
    RunArguments run;
    run.info = &Find(name);
    run.request.id = run.info->id;
    run.request.durationMs = static_cast<uint32_t>(WholeNumber(durationMs, "duration_ms", 1, 600000));
    run.request.seed = static_cast<uint32_t>(WholeNumber(seed, "seed", 0, kMaxUint32));
    // As the tool's --flags: any 32 bits, signed or not.
    run.request.flags = static_cast<int32_t>(static_cast<uint32_t>(WholeNumber(flags, "flags", INT32_MIN, kMaxUint32)));
    run.request.moduleLastStep = moduleLastStep;
    run.request.block = Apply(*run.info, BlockArgument(*run.info, block), settings);
    ReadMotion(ease, reverse, run.request);
    return run;
}

std::pair<Frame, Frame> Pictures(const py::object& old, const py::object& next) {
    Frame oldFrame = FrameArgument(old, "old", false);
    Frame newFrame = FrameArgument(next, "new", false);
    if (oldFrame.height != newFrame.height || oldFrame.width != newFrame.width ||
        oldFrame.channels != newFrame.channels) {
        throw py::value_error("old and new must have one shape, not " + oldFrame.Shape() + " and " + newFrame.Shape());
    }
    return {std::move(oldFrame), std::move(newFrame)};
}

py::array NewFrame(const Frame& like) { return py::array_t<uint8_t>({like.height, like.width, like.channels}); }

py::object FrameAt(const py::object& name, const py::object& old, const py::object& next, const py::object& tMs,
                   const py::object& durationMs, const py::object& fps, const py::object& settings,
                   const py::object& block, const py::object& seed, const py::object& out, const py::object& flags,
                   bool moduleLastStep, const py::object& ease, const py::object& reverse) {
    RunArguments run = ReadRun(name, durationMs, settings, block, seed, flags, moduleLastStep, ease, reverse);
    run.request.elapsedMs = static_cast<uint32_t>(WholeNumber(tMs, "t_ms", 0, kMaxUint32));
    // None is render's own rate, so that frame_at draws what `render --at` draws.
    run.request.frameRateNum = fps.is_none() ? kRenderFps : static_cast<uint32_t>(WholeNumber(fps, "fps", 1, 240));
    auto [oldFrame, newFrame] = Pictures(old, next);
    Frame target;
    if (out.is_none()) {
        target = FrameArgument(NewFrame(oldFrame), "out", true);
    } else {
        target = FrameArgument(out, "out", true);
        if (target.height != oldFrame.height || target.width != oldFrame.width ||
            target.channels != oldFrame.channels) {
            throw py::value_error("out must have the shape of old and new, " + oldFrame.Shape() + ", not " +
                                  target.Shape());
        }
    }
    Inputs inputs;
    ReadInputs(oldFrame, newFrame, &target, inputs);
    Draw(run.request, inputs, target);
    return target.array;
}

// The frame times of a run, as the tool's render takes them: 0, 1000 / fps, ... and the
// last exactly at the duration.
std::vector<uint32_t> FrameTimes(uint32_t durationMs, uint32_t fps) { return RunTimeline(durationMs, fps, 1).Times(); }

// The frames of a run, drawn one at a time as they are asked for, each at its moment
// on the run's frame-rate timeline.
class FrameIterator {
public:
    FrameIterator(RunArguments run, uint32_t fps, int64_t channels, int32_t width, int32_t height)
        : request(std::move(run.request)), times(FrameTimes(request.durationMs, fps)), channels(channels), width(width),
          height(height) {
        request.frameRateNum = fps;
    }
    Inputs inputs;

    py::object Next() {
        if (next >= times.size()) {
            throw py::stop_iteration();
        }
        // A request and surfaces of this call's own over the pictures, so that threads
        // that take frames from one iterator draw side by side without sharing them.
        FrameRequest at = request;
        at.elapsedMs = times[next++];
        Inputs views{SoftwareSurface::ReadOnlyOver(width, height, inputs.oldSurface.Pixels()),
                     SoftwareSurface::ReadOnlyOver(width, height, inputs.newSurface.Pixels())};
        py::array frame = py::array_t<uint8_t>({int64_t{height}, int64_t{width}, channels});
        const Frame target = FrameArgument(frame, "out", true);
        Draw(at, views, target);
        return frame;
    }
    size_t Remaining() const { return times.size() - next; }
    const std::vector<uint32_t>& Times() const { return times; }

private:
    FrameRequest request;
    std::vector<uint32_t> times;
    int64_t channels;
    int32_t width, height;
    size_t next = 0;
};

std::unique_ptr<FrameIterator> Frames(const py::object& name, const py::object& old, const py::object& next,
                                      const py::object& durationMs, const py::object& fps, const py::object& settings,
                                      const py::object& block, const py::object& seed, const py::object& flags,
                                      bool moduleLastStep, const py::object& ease, const py::object& reverse) {
    RunArguments run = ReadRun(name, durationMs, settings, block, seed, flags, moduleLastStep, ease, reverse);
    const auto rate = static_cast<uint32_t>(WholeNumber(fps, "fps", 1, 240));
    auto [oldFrame, newFrame] = Pictures(old, next);
    auto iterator =
        std::make_unique<FrameIterator>(std::move(run), rate, oldFrame.channels, static_cast<int32_t>(oldFrame.width),
                                        static_cast<int32_t>(oldFrame.height));
    // The pictures are read now: a run's frames come from the pictures as they were
    // when it was asked for, whatever happens to the arrays later.
    {
        const int32_t w = static_cast<int32_t>(oldFrame.width), h = static_cast<int32_t>(oldFrame.height);
        iterator->inputs.oldSurface = SoftwareSurface(w, h);
        iterator->inputs.newSurface = SoftwareSurface(w, h);
        py::gil_scoped_release release;
        ReadInto(oldFrame, iterator->inputs.oldSurface);
        ReadInto(newFrame, iterator->inputs.newSurface);
    }
    return iterator;
}

py::list Transitions() {
    const py::object transition = py::module_::import("wqtrans").attr("Transition");
    py::list list;
    for (const Transition& info : Catalog()) {
        list.append(transition(info.name, info.idText, info.index, info.defaults.size()));
    }
    return list;
}

} // namespace

} // namespace wqtrans::python

PYBIND11_MODULE(wqtrans, m) {
    using namespace wqtrans::python;
    py::options options;
    options.disable_function_signatures();
    m.doc() = R"(The 21 Standard transitions on NumPy frames.

A frame is a uint8 array of shape (height, width, 3) or (height, width, 4); any
strides, read-only arrays included. frame_at() gives the picture at one moment of a
run from an old frame to a new one, frames() every frame of a run, as the wqtrans
tool's `render --at` and `render --out DIR/` draw them. settings() and block() read
and set a transition's settings panel by the labels the tool's --set takes.

Bad input raises TypeError (a value of the wrong type, an array of another dtype) or
ValueError (an unknown name or label, a shape, stride or size the module cannot take,
a value out of range, a block of the wrong length); nothing is converted silently.
Drawing lets go of the GIL, so threads draw frames side by side; Ctrl-C stops a drawing on
the main thread and raises KeyboardInterrupt.)";

    py::object transition =
        py::module_::import("collections").attr("namedtuple")("Transition", "name id index block_size");
    transition.attr("__module__") = "wqtrans";
    transition.attr("__doc__") = "A transition: its name, four-character ID, index and block size in bytes.";
    m.attr("Transition") = transition;

    m.def("transitions", &Transitions, R"(transitions() -> list[Transition]

The 21 transitions in the module's order, as Transition(name, id, index, block_size)
named tuples: name as the tool shows it ("Stretch 2"), its four-character ID ("SE09"),
its index and the length of its parameter block in bytes (0 when it has none).)");

    m.def(
        "frame_at", &FrameAt, py::arg("name"), py::arg("old"), py::arg("new"), py::arg("t_ms"), py::kw_only(),
        py::arg("duration_ms") = 1000, py::arg("fps") = py::none(), py::arg("settings") = py::none(),
        py::arg("block") = py::none(), py::arg("seed") = 1, py::arg("out") = py::none(), py::arg("flags") = 0,
        py::arg("module_last_step") = false, py::arg("ease") = "linear", py::arg("reverse") = false,
        R"(frame_at(name, old, new, t_ms, *, duration_ms=1000, fps=None, settings=None, block=None, seed=1, out=None, flags=0, module_last_step=False, ease="linear", reverse=False) -> numpy.ndarray

The picture at t_ms of a run of duration_ms from `old` to `new`: the same picture as
`wqtrans render NAME --at T --fps FPS` (or without --fps for None).

name        a transition's name or ID, as transitions() lists them (case and spaces
            do not matter)
old, new    uint8 arrays of one shape, (H, W, 3) or (H, W, 4)
t_ms        the moment, 0 and up; at or after duration_ms the new picture
duration_ms the run's length, 1 to 600000
fps         the host's frame rate, 1 to 240: the transitions that build on their
            earlier steps are replayed at its frame times; None for render's own
            rate, 30 a second
settings    {label: value} set on the transition's panel, as `--set "Label=value"`
            (True/False for on/off, ints, or a choice's text); after `block`
block       a parameter block (bytes) to start from instead of the defaults
seed        the module's random generator's seed, 0 to 2**32 - 1
out         an array of old's shape to draw into instead of a new one
flags       the step flags a host passes (the tool's --flags)
module_last_step  at t_ms >= duration_ms, the module's drawing of its last step
ease        the motion curve, as the tool's --ease: "linear", "ease", "ease-in",
            "ease-out", "ease-in-out", sine, quad, cubic or expo with "-in", "-out"
            or "-in-out" ("quad-in"), or cubic-bezier(x1,y1,x2,y2) as in CSS
reverse     the mirror run, as the tool's --reverse: still from old to new, but the
            motion runs backwards (Door closes, Zoom shrinks)

Returns `out`, or a new array of old's shape.)");

    m.def(
        "frames", &Frames, py::arg("name"), py::arg("old"), py::arg("new"), py::kw_only(),
        py::arg("duration_ms") = 1000, py::arg("fps") = kRenderFps, py::arg("settings") = py::none(),
        py::arg("block") = py::none(), py::arg("seed") = 1, py::arg("flags") = 0, py::arg("module_last_step") = false,
        py::arg("ease") = "linear", py::arg("reverse") = false,
        R"(frames(name, old, new, *, duration_ms=1000, fps=30, settings=None, block=None, seed=1, flags=0, module_last_step=False, ease="linear", reverse=False) -> FrameIterator

An iterator over the frames of a whole run, as `wqtrans render NAME --out DIR/` draws
them: frame i at i * 1000 // fps ms and the last at duration_ms, each a new array of
old's shape. The arguments are those of frame_at(); `old` and `new` are read once,
when frames() is called. len() gives the frames still to come, .times their moments.)");

    py::class_<FrameIterator>(m, "FrameIterator", "The frames of a run, drawn as they are asked for (see frames()).")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &FrameIterator::Next)
        .def("__len__", &FrameIterator::Remaining)
        .def_property_readonly(
            "times", [](const FrameIterator& it) { return py::cast(it.Times()); },
            "The moments of all the run's frames in ms.");

    m.def("settings", &Settings, py::arg("name"), py::arg("block") = py::none(),
          R"(settings(name, block=None) -> dict[str, dict]

The fields of the transition's settings panel, with `block` (bytes) or the defaults:
{label: {"kind": ..., "value": ..., ...}} in the panel's order, labelled as the tool's
--set takes them. Kinds and values: "radio button" and "check box" (bool), "choice"
(the chosen text; "choices" lists them), "track bar" and "up-down" (int, with "min"
and "max"), "edit box" (int within "min" and "max" when it has a range, else str).
An empty dict for a transition without a panel.)");

    m.def("block", &Block, py::arg("name"), py::arg("settings"), py::kw_only(), py::arg("base") = py::none(),
          R"(block(name, settings, *, base=None) -> bytes

The parameter block that the transition's panel leaves once `settings` ({label: value},
or a dict from settings()) are set on it as a person would, starting from `base`
(bytes) or the defaults. A radio button set to False must be left by choosing another
of its group in the same settings.)");
}
