#pragma once

#include <cstddef>
#include <cstdint>

// The map's inputs for the fuzzers: bytes read as a KML, GPX or GeoJSON file
// (then thinned and bounded as a frame would), and bytes decoded as a
// coastline bin (then closed into rings as a frame would).
enum class MapInput { Kml, Gpx, GeoJson, CoastlineBin };
int fuzzMapInput(MapInput kind, const std::uint8_t *data, std::size_t size);
