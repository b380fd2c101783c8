#include "module/Exports.h"

#include "module/Registry.h"

using wqtrans::MakeId;
using wqtrans::Transition;

namespace wqtrans {
HINSTANCE moduleInstance = nullptr;
}

namespace {

constexpr uint32_t kModuleType = MakeId('W', 'Q', 'T', 'R');
constexpr uint32_t kModuleId = MakeId('S', 'T', 'D', 'T');
constexpr UINT kModuleNameString = 1000;

} // namespace

extern "C" {

uint32_t GetModuleType() noexcept { return kModuleType; }

int32_t GetModuleName(char16_t* buffer, int32_t capacity) noexcept {
    // Without room nothing is written (see Transition::GetName).
    if (buffer == nullptr || capacity < 1) {
        return 0;
    }
    return LoadStringW(wqtrans::moduleInstance, kModuleNameString, reinterpret_cast<LPWSTR>(buffer), capacity);
}

uint32_t GetModuleID() noexcept { return kModuleId; }

int32_t IsUnicode() noexcept { return 1; }

int32_t GetTransCount() noexcept { return wqtrans::kTransitionCount; }

int32_t GetTransName(int32_t index, char16_t* buffer, int32_t capacity) noexcept {
    Transition* prototype = wqtrans::Prototype(index);
    if (prototype == nullptr) {
        return 0;
    }
    try {
        return prototype->GetName(buffer, capacity);
    } catch (...) {
        return 0;
    }
}

uint32_t GetTransID(int32_t index) noexcept {
    Transition* prototype = wqtrans::Prototype(index);
    return prototype != nullptr ? prototype->GetID() : 0;
}

int32_t GetTransMode(int32_t index) noexcept {
    Transition* prototype = wqtrans::Prototype(index);
    return prototype != nullptr ? prototype->GetMode() : 0;
}

wqtrans::TransitionAdapter* CreateTransition(int32_t reserved, uint32_t id, const void* block, uint32_t size) noexcept {
    if (reserved != 0) {
        return nullptr;
    }
    try {
        for (int32_t index = 0; index < wqtrans::kTransitionCount; ++index) {
            Transition* prototype = wqtrans::Prototype(index);
            if (prototype == nullptr || prototype->GetID() != id) {
                continue;
            }
            Transition* instance = prototype->Clone();
            if (instance == nullptr) {
                return nullptr;
            }
            if (block != nullptr) {
                instance->SetParams(block, size);
            }
            wqtrans::TransitionAdapter* adapter = wqtrans::NewAdapter(instance);
            if (adapter == nullptr) {
                delete instance;
            }
            return adapter;
        }
    } catch (...) {
    }
    return nullptr;
}
}
