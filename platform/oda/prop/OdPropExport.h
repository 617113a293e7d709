#pragma once

#if defined(ODPROP_BUILDING)
#define ODPROP_EXPORT __attribute__((visibility("default")))
#else
#define ODPROP_EXPORT
#endif
