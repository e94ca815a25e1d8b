// A module with dialog templates, as a driver's resource module holds them: the pages of the
// property sheets in the tests.
#include "platform/window.h"

namespace {

namespace plat = zo::plat;

const plat::DialogItemTemplate kGeneralItems[] = {
    {plat::kStaticClass, "Data source:", 1000, plat::kStyleVisible, 8, 10, 90, 16},
    {plat::kEditClass, "", 1001, plat::kStyleVisible | plat::kStyleBorder, 100, 8, 150, 20},
};
const plat::DialogTemplate kGeneral{"General", plat::kStyleVisible, 270, 120, 2, kGeneralItems};
const plat::DialogTemplate kAdvanced{"Advanced", plat::kStyleVisible, 200, 160, 0, nullptr};

} // namespace

extern "C" __attribute__((visibility("default"))) const plat::DialogTemplate *zoFindDialog(unsigned id) {
    switch (id) {
    case 101: return &kGeneral;
    case 102: return &kAdvanced;
    default: return nullptr;
    }
}
