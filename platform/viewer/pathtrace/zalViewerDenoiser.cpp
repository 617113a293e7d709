#include "zalViewerDenoiser.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr float kKernel[5] = {1.0f / 16, 1.0f / 4, 3.0f / 8, 1.0f / 4, 1.0f / 16}; // B3 spline
constexpr float kAlbedoFloor = 0.01f;
// Edge-stopping widths: the colour one halves each pass (the wavelet's detail shrinks as the
// holes grow), the guides' stay fixed.
constexpr float kSigmaColour = 0.1f;
constexpr float kSigmaNormal = 0.3f;
constexpr float kSigmaAlbedo = 0.1f;

float distance2(const float* a, const float* b)
{
    const float x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
    return x * x + y * y + z * z;
}

} // namespace

std::vector<float> zalViewerDenoiser::denoise(int w, int h, const std::vector<float>& colour,
                                              const std::vector<float>& albedo,
                                              const std::vector<float>& normal, int passes)
{
    const std::size_t n = std::size_t(std::max(w, 0)) * std::size_t(std::max(h, 0));
    if (n == 0 || colour.size() != 3 * n || albedo.size() != 3 * n || normal.size() != 3 * n) return colour;
    std::vector<float> irradiance(3 * n), next(3 * n), norm(3 * n);
    for (std::size_t i = 0; i < 3 * n; ++i)
        irradiance[i] = colour[i] / std::max(albedo[i], kAlbedoFloor);
    for (std::size_t p = 0; p < n; ++p) {
        const float* v = &normal[3 * p];
        const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (int k = 0; k < 3; ++k)
            norm[3 * p + std::size_t(k)] = l > 1e-6f ? v[k] / l : 0.0f;
    }
    std::vector<float> compressed(3 * n);
    for (int pass = 0; pass < passes; ++pass) {
        // Bright pixels differ more in absolute terms; compare in a compressed scale.
        for (std::size_t i = 0; i < 3 * n; ++i)
            compressed[i] = std::log1p(std::max(irradiance[i], 0.0f));
        const int step = 1 << pass;
        const float sc = kSigmaColour / float(1 << pass);
        const float invColour = 1.0f / (sc * sc), invNormal = 1.0f / (kSigmaNormal * kSigmaNormal),
                    invAlbedo = 1.0f / (kSigmaAlbedo * kSigmaAlbedo);
#pragma omp parallel for schedule(static)
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(y) * std::size_t(w) + std::size_t(x);
                const float* cp = &compressed[3 * p];
                float sum[3] = {0, 0, 0}, weights = 0;
                for (int j = -2; j <= 2; ++j) {
                    const int yy = y + j * step;
                    if (yy < 0 || yy >= h) continue;
                    for (int i = -2; i <= 2; ++i) {
                        const int xx = x + i * step;
                        if (xx < 0 || xx >= w) continue;
                        const std::size_t q = std::size_t(yy) * std::size_t(w) + std::size_t(xx);
                        const float e = distance2(cp, &compressed[3 * q]) * invColour +
                                        distance2(&norm[3 * p], &norm[3 * q]) * invNormal +
                                        distance2(&albedo[3 * p], &albedo[3 * q]) * invAlbedo;
                        // Beyond this the weight is nothing, and exp() would return slow denormals.
                        if (e > 30.0f) continue;
                        const float wgt = kKernel[i + 2] * kKernel[j + 2] * std::exp(-e);
                        for (int k = 0; k < 3; ++k)
                            sum[k] += irradiance[3 * q + std::size_t(k)] * wgt;
                        weights += wgt;
                    }
                }
                for (int k = 0; k < 3; ++k)
                    next[3 * p + std::size_t(k)] = sum[k] / weights;
            }
        }
        irradiance.swap(next);
    }
    std::vector<float> out(3 * n);
    for (std::size_t i = 0; i < 3 * n; ++i)
        out[i] = irradiance[i] * std::max(albedo[i], kAlbedoFloor);
    return out;
}
