#pragma once

// Coarse built-in model of the geoid height above the WGS-84 ellipsoid.
// Ellipsoid height = MSL height + geoidSeparation(lat, lon).

// Geoid height in metres at a latitude and longitude in degrees (north and east positive),
// interpolated bilinearly in a 10-degree table. Latitudes outside -90 ... 90 and longitudes
// outside -180 ... 180 (or not numbers) give 0.
double geoidSeparation(double latDeg, double lonDeg);
