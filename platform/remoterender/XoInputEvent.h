#pragma once

#include <QMetaType>
#include <cstdint>

// One input record for the viewer: 16 bytes, passed by value.
// type: 1 move, 2 wheel, 3/4 left press/release, 5/6 right, 7/8 middle, 9/10 key press/release,
// 11 the host widget is closing. a: button, wheel delta or key code, by type.
struct XoInputEvent
{
    std::int32_t type = 0;
    std::int32_t a = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
};
static_assert(sizeof(XoInputEvent) == 16, "the viewer reads input records as 16 bytes");

Q_DECLARE_METATYPE(XoInputEvent)
