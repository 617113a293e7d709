#pragma once

#include <vector>

// Edge-avoiding À-Trous wavelet filter (Dammertz, Sewtz, Hanika, Lensch, "Edge-Avoiding À-Trous
// Wavelet Transform for fast Global Illumination Filtering", HPG 2010), guided by the first
// surface's albedo and normal. The colour is divided by the albedo before filtering and
// multiplied back after, so textures and material edges stay sharp while the lighting smooths.
namespace zalViewerDenoiser {

// All buffers are w × h rgb (or xyz) floats, row by row; returns the filtered colour.
std::vector<float> denoise(int w, int h, const std::vector<float>& colour, const std::vector<float>& albedo,
                           const std::vector<float>& normal, int passes = 4);

} // namespace zalViewerDenoiser
