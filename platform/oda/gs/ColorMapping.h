#pragma once

#include "OdgsExport.h"

#include <cstdint>

// 0x00BBGGRR, the colour layout of device palettes.
typedef std::uint32_t ODCOLORREF;
#define ODRGB(r, g, b)                                                                                       \
    ((ODCOLORREF)(((std::uint32_t)(std::uint8_t)(r)) | (((std::uint32_t)(std::uint8_t)(g)) << 8) |           \
                  (((std::uint32_t)(std::uint8_t)(b)) << 16)))
#define ODGETRED(c) ((std::uint8_t)((c)&0xFF))
#define ODGETGREEN(c) ((std::uint8_t)(((c) >> 8) & 0xFF))
#define ODGETBLUE(c) ((std::uint8_t)(((c) >> 16) & 0xFF))

// The 256-entry ACI palette as 0x00BBGGRR for a background colour: entry 7 is black on a light background
// and white on a dark one. The palette lives as long as the library.
ODGS_EXPORT const ODCOLORREF* odcmAcadPalette(ODCOLORREF background);
// The colour of one ACI index (1..255) on a dark background, as 0x00BBGGRR.
ODGS_EXPORT ODCOLORREF odcmLookupAci(std::uint8_t index);
