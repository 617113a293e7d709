#pragma once

#if defined(ODGS_BUILDING)
#define ODGS_EXPORT __attribute__((visibility("default")))
#else
#define ODGS_EXPORT
#endif
