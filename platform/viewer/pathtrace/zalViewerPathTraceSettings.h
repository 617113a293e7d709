#pragma once

#include "zalViewerPathTracer.h"

struct zalViewerSettings;

// What the host's commands ask of the path tracer: the post-process volume's path-tracing fields,
// the tone mapper, the game time (the seed) and the sun and sky.
namespace zalViewerPathTraceSettings {

zalViewerPathTraceOptions options(const zalViewerSettings& settings);
zalViewerPathTraceEnvironment environment(const zalViewerSettings& settings);
// The seed of a frame: a function of the game time only, so an animation frame and a still at
// the same time sample alike.
std::uint64_t seedForTime(double gameTimeSeconds);

} // namespace zalViewerPathTraceSettings
