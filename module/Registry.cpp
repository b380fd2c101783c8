#include "module/Registry.h"

#include <new>

#include "transitions/AdvancedScrollingTransition.h"
#include "transitions/BackTransition.h"
#include "transitions/BandsTransition.h"
#include "transitions/CellTransition.h"
#include "transitions/DoorTransition.h"
#include "transitions/FadeTransition.h"
#include "transitions/LineTransition.h"
#include "transitions/MosaicTransition.h"
#include "transitions/OpenTransition.h"
#include "transitions/PushTransition.h"
#include "transitions/ScrollingTransition.h"
#include "transitions/SquareTransition.h"
#include "transitions/Stretch2Transition.h"
#include "transitions/StretchTransition.h"
#include "transitions/TrameTransition.h"
#include "transitions/Turn2Transition.h"
#include "transitions/TurnTransition.h"
#include "transitions/ZigZag2Transition.h"
#include "transitions/ZigzagTransition.h"
#include "transitions/Zoom2Transition.h"
#include "transitions/ZoomTransition.h"

namespace wqtrans {

namespace {

template <typename T> Transition* Make() { return new (std::nothrow) T(); }

// index, ID, name string, settings panel, mode, class
constexpr std::array<RegistryRow, kTransitionCount> kRegistry{{
    {FadeTransition::kId, 1001, 0, 7, &Make<FadeTransition>},
    {BandsTransition::kId, 1004, 102, 3, &Make<BandsTransition>},
    {DoorTransition::kId, 1007, 105, 3, &Make<DoorTransition>},
    {MosaicTransition::kId, 1003, 104, 3, &Make<MosaicTransition>},
    {ScrollingTransition::kId, 1011, 106, 11, &Make<ScrollingTransition>},
    {ZigzagTransition::kId, 1008, 103, 3, &Make<ZigzagTransition>},
    {ZoomTransition::kId, 1012, 0, 15, &Make<ZoomTransition>},
    {AdvancedScrollingTransition::kId, 1019, 108, 11, &Make<AdvancedScrollingTransition>},
    {BackTransition::kId, 1029, 116, 3, &Make<BackTransition>},
    {CellTransition::kId, 1031, 118, 3, &Make<CellTransition>},
    {LineTransition::kId, 1022, 109, 3, &Make<LineTransition>},
    {OpenTransition::kId, 1024, 111, 3, &Make<OpenTransition>},
    {PushTransition::kId, 1025, 112, 3, &Make<PushTransition>},
    {SquareTransition::kId, 1020, 107, 3, &Make<SquareTransition>},
    {StretchTransition::kId, 1026, 113, 11, &Make<StretchTransition>},
    {Stretch2Transition::kId, 1028, 115, 11, &Make<Stretch2Transition>},
    {TrameTransition::kId, 1032, 119, 3, &Make<TrameTransition>},
    {TurnTransition::kId, 1027, 114, 3, &Make<TurnTransition>},
    {Turn2Transition::kId, 1021, 120, 3, &Make<Turn2Transition>},
    {ZigZag2Transition::kId, 1023, 110, 3, &Make<ZigZag2Transition>},
    {Zoom2Transition::kId, 1030, 117, 11, &Make<Zoom2Transition>},
}};

// The 21 prototypes, made in index order when the library loads and destroyed in
// reverse order when it unloads.
class Prototypes {
public:
    Prototypes() {
        for (std::size_t i = 0; i < kRegistry.size(); ++i) {
            objects[i] = kRegistry[i].make();
        }
    }
    ~Prototypes() {
        for (std::size_t i = objects.size(); i-- > 0;) {
            delete objects[i];
            objects[i] = nullptr;
        }
    }
    Prototypes(const Prototypes&) = delete;
    Prototypes& operator=(const Prototypes&) = delete;

    std::array<Transition*, kTransitionCount> objects{};
};

const Prototypes prototypes;

} // namespace

const std::array<RegistryRow, kTransitionCount>& RegistryTable() { return kRegistry; }

Transition* Prototype(int32_t index) {
    if (index < 0 || index >= kTransitionCount) {
        return nullptr;
    }
    return prototypes.objects[static_cast<std::size_t>(index)];
}

} // namespace wqtrans
