#pragma once

// The interfaces are abstract and header-only, but their type information must be one and the same in
// the host and in modules built with hidden visibility, or dynamic_cast across libraries fails.
#define ZAL_HOSTAPI __attribute__((visibility("default")))
