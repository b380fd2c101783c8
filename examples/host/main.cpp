// A small host of the wqtrans module: it lists the transitions, runs one on the
// reference surface with a clock of its own, and writes the frame halfway through
// the run as a PNG.
//
//   wqtrans-example [TRANSITION [OUT.png]]        (default: Door door.png)
//
// TRANSITION is a name as the module gives it ("Stretch 2") or a four-character ID.
#include <wqtrans/host/SoftwareSurface.h>
#include <wqtrans/module/Exports.h>
#include <wqtrans/module/Version.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 240;
constexpr uint32_t kDurationMs = 1000;
constexpr uint32_t kFrameMs = 50;

// The module's names are UTF-16; these are all ASCII.
std::string Narrow(const char16_t* text) {
    std::string out;
    for (; *text != 0; ++text) {
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    }
    return out;
}

// An ID's four characters, lowest byte first.
std::string IdText(uint32_t id) {
    return {static_cast<char>(id), static_cast<char>(id >> 8), static_cast<char>(id >> 16),
            static_cast<char>(id >> 24)};
}

// The clock the module reads: the host sets `now` before each step.
uint32_t ReadClock(void* now) { return *static_cast<uint32_t*>(now); }

// The old frame: warm stripes; the new frame: a cool checkerboard.
void Paint(wqtrans::SoftwareSurface& frame, bool isNew) {
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const bool light = isNew ? ((x / 40 + y / 40) % 2 == 0) : (y / 24 % 2 == 0);
            const uint32_t colour = isNew ? (light ? 0xFF9AD0F5u : 0xFF1F4E79u) : (light ? 0xFFF5C26Bu : 0xFFB5452Bu);
            frame.SetPixel(x, y, colour);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string wanted = argc > 1 ? argv[1] : "Door";
    const std::string out = argc > 2 ? argv[2] : "door.png";

    char16_t text[64];
    GetModuleName(text, 64);
    std::printf("%s (wqtrans %s)\n", Narrow(text).c_str(), WQTRANS_VERSION_STRING);

    uint32_t id = 0;
    for (int32_t i = 0; i < GetTransCount(); ++i) {
        GetTransName(i, text, 64);
        const std::string name = Narrow(text);
        std::printf("%2d  %s  %s\n", i, IdText(GetTransID(i)).c_str(), name.c_str());
        if (name == wanted || IdText(GetTransID(i)) == wanted) {
            id = GetTransID(i);
        }
    }
    if (id == 0) {
        std::fprintf(stderr, "wqtrans-example: no transition \"%s\"\n", wanted.c_str());
        return 2;
    }

    wqtrans::SoftwareSurface oldFrame(kWidth, kHeight);
    wqtrans::SoftwareSurface newFrame(kWidth, kHeight);
    wqtrans::SoftwareSurface dest(kWidth, kHeight);
    Paint(oldFrame, false);
    Paint(newFrame, true);
    oldFrame.CopyAll(&dest); // most transitions draw only what changed

    // Steps at exact times, and the same random cells on every run.
    uint32_t now = 0;
    wqtrans::platform::SetTimeSource(ReadClock, &now);
    wqtrans::crt::srand(1);

    // No stored parameter block: the transition's defaults.
    wqtrans::TransitionAdapter* transition = CreateTransition(0, id, nullptr, 0);
    if (transition == nullptr) {
        std::fprintf(stderr, "wqtrans-example: CreateTransition failed\n");
        return 1;
    }
    transition->table->Begin(transition, kDurationMs);
    for (now = 0; now <= kDurationMs / 2; now += kFrameMs) {
        wqtrans::ChangedRect* changed = nullptr;
        transition->table->Step(transition, &dest, &oldFrame, &newFrame, 0, &changed);
    }
    transition->table->End(transition);
    transition->table->Delete(transition);
    wqtrans::platform::SetTimeSource(nullptr, nullptr);

    std::string error;
    if (!dest.SavePng(out, &error)) {
        std::fprintf(stderr, "wqtrans-example: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s: %s at %u of %u ms\n", out.c_str(), wanted.c_str(), kDurationMs / 2, kDurationMs);
    return 0;
}
