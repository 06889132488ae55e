#pragma once

#include <string>
#include <vector>

namespace sweep {

// One observation point as the operator would have it in the two boxes.
struct Place {
    std::string name;
    std::string latitudeText;  // UTF-8, exactly what the box would hold
    std::string longitudeText;
    // Inside the range the solver is built for (latitude 20..46 N, longitude
    // 122..150 E): every tick must find its sunset or sunrise and send.
    bool designRange = false;
    // One of the nine listed cities: sunset must fall at 16..19 h and the
    // next sunrise at 3..7 h on every date.
    bool listedCity = false;
    // A box text that must be refused: every tick is withheld with the box
    // marked.
    bool refusedLatitude = false;
    bool refusedLongitude = false;
};

// The nine cities of the observation-point list, with the texts the list
// writes into the boxes.
std::vector<Place> listedCities();

// A few hundred typed positions: a grid over the whole globe (poles,
// equator, the western hemisphere, both sides of the date line) and texts at
// the edges of what the boxes convert, some of which must be refused.
std::vector<Place> typedPlaces();

}  // namespace sweep
