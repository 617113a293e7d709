#pragma once

// Modules the host loads build with hidden symbols; the classes and entry points they export carry this.
#define ZAL_EXPORT __attribute__((visibility("default")))
