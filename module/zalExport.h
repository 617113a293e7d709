#pragma once

// The module library hides its symbols by default; exported classes and entry points carry this.
#define ZAL_EXPORT __attribute__((visibility("default")))
