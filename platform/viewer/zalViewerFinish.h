#pragma once

#include "zalViewerLook.h"

#include <QImage>

#include <vector>

// The last steps of a frame, done on the CPU from linear HDR pixels (already exposed, so 1.0 is
// a well-lit white): downsampling of a supersampled frame, bloom, white balance and grading,
// ACES tone mapping, vignette and sRGB encoding. Shared by every renderer of the viewer so the
// rasterised and the path-traced pictures are finished alike.
//
// `rgba` holds width * height * 4 floats, rows from the top; `factor` is the supersampling factor
// (the output is width / factor by height / factor).
QImage zalViewerFinishFrame(std::vector<float>& rgba, int width, int height, int factor,
                            const zalViewerLook& look);

// ACES filmic tone curve (Narkowicz's fit), linear in, display-linear out, 0..1.
float zalViewerAces(float x);
