#include "app/ControlLayout.h"

#include <array>
#include <cmath>

namespace heliotrope::app {

namespace {

constexpr std::array<ControlPlacement, 27> kPlacements{{
    {"Frame3", "frmMain", 120, 3960, 2895, 1215, 20},
    {"txtAntennaAzimuth", "Frame3", 1800, 600, 975, 375, 22},
    {"txtAntennaElevation", "Frame3", 1800, 240, 975, 375, 21},
    {"Label11", "Frame3", 360, 720, 1335, 375, 24},
    {"Label6", "Frame3", 120, 360, 1815, 255, 23},
    {"Frame2", "frmMain", 120, 2280, 2895, 1575, 15},
    {"txtSettingElevation", "Frame2", 1800, 360, 975, 375, 17},
    {"txtSettingAzimuth", "Frame2", 1800, 960, 975, 375, 16},
    {"Label3", "Frame2", 360, 960, 1095, 255, 19},
    {"Label12", "Frame2", 480, 480, 1455, 255, 18},
    {"Frame1", "frmMain", 120, 480, 2895, 1695, 10},
    {"ComboObservatory", "Frame1", 360, 360, 2415, 300, 25},
    {"txtObserverLatitude", "Frame1", 1800, 840, 975, 375, 12},
    {"txtObserverLongtitude", "Frame1", 1800, 1200, 975, 375, 11},
    {"Label4", "Frame1", 360, 960, 975, 255, 14},
    {"Label5", "Frame1", 360, 1320, 975, 255, 13},
    {"picView", "frmMain", 3960, 1200, 2835, 2595, 8},
    {"txtACTLR_IP", "frmMain", 6120, 0, 1335, 375, 7},
    {"txtACTLR_Port", "frmMain", 6120, 360, 1335, 375, 4},
    {"cmdClose", "frmMain", 5280, 4440, 2175, 735, 3},
    {"cmdStart", "frmMain", 3120, 4440, 2055, 735, 2},
    {"Label7", "frmMain", 3120, 4200, 4335, 495, 9},
    {"Label10", "frmMain", 3240, 120, 1935, 255, 6},
    {"Label9", "frmMain", 3240, 480, 2775, 375, 5},
    {"Shape1", "frmMain", 0, 0, 3135, 375, -1},
    {"Label1", "frmMain", 0, 120, 975, 495, 1},
    {"lblTime", "frmMain", 1080, 120, 2175, 495, 0},
}};

constexpr std::array<const char*, 12> kFocusOrder{
    "cmdStart",
    "cmdClose",
    "txtACTLR_Port",
    "txtACTLR_IP",
    "picView",
    "txtObserverLongtitude",
    "txtObserverLatitude",
    "txtSettingAzimuth",
    "txtSettingElevation",
    "txtAntennaElevation",
    "txtAntennaAzimuth",
    "ComboObservatory",
};

}  // namespace

int twips(int value)
{
    return static_cast<int>(std::lround(value / kTwipsPerPixel));
}

QRect twipsRect(const ControlPlacement& p)
{
    return QRect(twips(p.left), twips(p.top), twips(p.width), twips(p.height));
}

std::span<const ControlPlacement> controlPlacements()
{
    return kPlacements;
}

const ControlPlacement* findPlacement(const QString& name)
{
    for (const ControlPlacement& p : kPlacements) {
        if (name == QLatin1String(p.name))
            return &p;
    }
    return nullptr;
}

std::span<const char* const> focusOrder()
{
    return kFocusOrder;
}

}  // namespace heliotrope::app
