#include "tools/sweep/SweepPlaces.h"

#include "app/observatories/ObservatoryTable.h"

#include <cstdio>

using heliotrope::app::observatories;
using heliotrope::app::Observatory;

namespace sweep {
namespace {

bool inDesignRange(double latitude, double longitude)
{
    return latitude >= 20 && latitude <= 46 && longitude >= 122 && longitude <= 150;
}

std::string text(double value)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", value);
    return buf;
}

}  // namespace

std::vector<Place> listedCities()
{
    // The window's own list, so the sweep covers exactly what a pick writes.
    std::vector<Place> out;
    for (const Observatory& entry : observatories()) {
        if (!entry.latitudeText)
            continue;  // the free-input entry writes nothing
        Place p;
        p.name = entry.name.toStdString();
        p.latitudeText = entry.latitudeText->toStdString();
        p.longitudeText = entry.longitudeText->toStdString();
        p.designRange = true;
        p.listedCity = true;
        out.push_back(p);
    }
    return out;
}

std::vector<Place> typedPlaces()
{
    std::vector<Place> out;

    // The grid: the design range's corners and inside, the tropics (where the
    // sun can stand in the zenith), the polar circles and the poles; the
    // western hemisphere, the prime meridian and the date line.
    const double latitudes[] = {-90, -89.5, -66.6, -45, -23.44, -0.0001, 0, 15,
                                20, 23.44, 35, 46, 55, 66.6, 89.5, 90};
    const double longitudes[] = {-180, -120, -60, -0.5, 0, 60, 100, 122, 135, 150, 165, 175, 180};
    for (const double lat : latitudes) {
        for (const double lon : longitudes) {
            Place p;
            p.latitudeText = text(lat);
            p.longitudeText = text(lon);
            p.name = "grid " + p.latitudeText + "/" + p.longitudeText;
            p.designRange = inDesignRange(lat, lon);
            out.push_back(p);
        }
    }

    // Texts at the edges of what converts. The operator can type any of
    // these; none may crash a tick or put a non-finite number anywhere.
    const struct {
        const char* name;
        const char* latitude;
        const char* longitude;
        bool refusedLatitude;
        bool refusedLongitude;
    } edges[] = {
        {"full-width digits", "\xEF\xBC\x93\xEF\xBC\x95\xEF\xBC\x8E\xEF\xBC\x96\xEF\xBC\x94",
         "\xEF\xBC\x91\xEF\xBC\x93\xEF\xBC\x99\xEF\xBC\x8E\xEF\xBC\x93", false, false},
        {"ideographic blanks", "\xE3\x80\x80"
                               "35.64\xE3\x80\x80",
         "\t139.3 ", false, false},
        {"kana-mode minus", "\xE3\x83\xBC"
                            "35",
         "\xE3\x83\xBC"
         "70",
         false, false},
        {"exponent", "3.564e1", "1.393E+2", false, false},
        {"leading and trailing point", ".5", "135.", false, false},
        {"plus sign", "+35", "+139.7", false, false},
        {"negative zero", "-0", "-0", false, false},
        {"latitude past the pole", "91", "139.3", false, false},
        {"latitude far past the pole", "1000", "139.3", false, false},
        {"longitude one turn on", "35.64", "499.3", false, false},
        {"longitude far west", "35.64", "-1000", false, false},
        {"huge longitude", "35.64", "1e15", false, false},
        {"huger longitude", "35.64", "1e300", false, false},
        {"huge latitude", "1e300", "139.3", false, false},
        {"largest double latitude", "1.7976931348623157e308", "139.3", false, false},
        {"largest double longitude", "35.64", "1.7976931348623157e308", false, false},
        {"most negative double", "-1.7976931348623157e308", "-1.7976931348623157e308", false, false},
        {"subnormal", "4.9e-324", "1e-320", false, false},
        {"overflowing text", "1e999", "139.3", true, false},
        {"underflowing text", "35.64", "1e-400", false, true},
        {"empty boxes", "", "", true, true},
        {"blank box", "   ", "139.3", true, false},
        {"letters", "abc", "139.3", true, false},
        {"nan", "nan", "NaN", true, true},
        {"inf", "35.64", "inf", false, true},
        {"decimal comma", "35,64", "139,3", true, true},
        {"degree sign", "35.64\xC2\xB0", "139.3", true, false},
        {"two points", "35.6.4", "139.3", true, false},
        {"hexadecimal", "0x23", "139.3", true, false},
        {"kanji numerals", "\xE4\xB8\x89\xE5\x8D\x81\xE4\xBA\x94", "139.3", true, false},
        {"broken UTF-8", "35.6\xE3\x80", "139.3", true, false},
    };
    for (const auto& e : edges) {
        Place p;
        p.name = e.name;
        p.latitudeText = e.latitude;
        p.longitudeText = e.longitude;
        p.refusedLatitude = e.refusedLatitude;
        p.refusedLongitude = e.refusedLongitude;
        out.push_back(p);
    }
    // A NUL inside the text, built apart since a C string stops at it.
    Place nul;
    nul.name = "NUL inside";
    nul.latitudeText = std::string("35\0.64", 6);
    nul.longitudeText = "139.3";
    nul.refusedLatitude = true;
    out.push_back(nul);
    return out;
}

}  // namespace sweep
