#pragma once

// A place on Earth, as the sun computations and the time-zone table both need one. Kept apart so
// that neither has to include the other just for two numbers.

// Latitude and longitude in degrees: north and east positive.
struct GeoLocation
{
    double latitude = 0;
    double longitude = 0;
    friend bool operator==(const GeoLocation &, const GeoLocation &) = default;
};
