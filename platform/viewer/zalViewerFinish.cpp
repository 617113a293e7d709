#include "zalViewerFinish.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

float encodeSrgb(float v)
{
    v = std::clamp(v, 0.0f, 1.0f);
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

// Display-linear 0..1 to an 8-bit sRGB value through a table: a power per channel and pixel
// costs more than the whole rest of the finish.
class SrgbTable
{
public:
    SrgbTable()
    {
        for (int i = 0; i < kSize; ++i)
            m_values[i] = std::uint8_t(std::lround(encodeSrgb(float(i) / float(kSize - 1)) * 255.0f));
    }
    int operator()(float v) const
    {
        return m_values[int(std::clamp(v, 0.0f, 1.0f) * float(kSize - 1) + 0.5f)];
    }

private:
    static constexpr int kSize = 8192;
    std::uint8_t m_values[kSize];
};

// Separable box blur of one channel plane, a few passes approximating a Gaussian.
void blur(std::vector<float>& plane, int w, int h, int radius)
{
    std::vector<float> tmp(plane.size());
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) {
            float sum = 0;
            int count = 0;
            for (int x = -radius; x < w + radius; ++x) {
                if (x + radius < w) {
                    sum += plane[std::size_t(y) * w + (x + radius)];
                    ++count;
                }
                if (x - radius - 1 >= 0) {
                    sum -= plane[std::size_t(y) * w + (x - radius - 1)];
                    --count;
                }
                if (x >= 0 && x < w) tmp[std::size_t(y) * w + x] = count ? sum / float(count) : 0;
            }
        }
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            int count = 0;
            for (int y = -radius; y < h + radius; ++y) {
                if (y + radius < h) {
                    sum += tmp[std::size_t(y + radius) * w + x];
                    ++count;
                }
                if (y - radius - 1 >= 0) {
                    sum -= tmp[std::size_t(y - radius - 1) * w + x];
                    --count;
                }
                if (y >= 0 && y < h) plane[std::size_t(y) * w + x] = count ? sum / float(count) : 0;
            }
        }
    }
}

} // namespace

float zalViewerAces(float x)
{
    x = std::max(x, 0.0f);
    return std::clamp((x * (2.51f * x + 0.03f)) / (x * (2.43f * x + 0.59f) + 0.14f), 0.0f, 1.0f);
}

QImage zalViewerFinishFrame(std::vector<float>& rgba, int width, int height, int factor,
                            const zalViewerLook& look)
{
    factor = std::max(factor, 1);
    const int w = width / factor, h = height / factor;
    if (w <= 0 || h <= 0 || rgba.size() < std::size_t(width) * std::size_t(height) * 4) return QImage();
    // Linear RGB of the output size.
    std::vector<float> rgb(std::size_t(w) * h * 3);
    const float inv = 1.0f / float(factor * factor);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float c[3] = {0, 0, 0};
            for (int sy = 0; sy < factor; ++sy)
                for (int sx = 0; sx < factor; ++sx) {
                    const float* p =
                        &rgba[(std::size_t(y * factor + sy) * width + std::size_t(x * factor + sx)) * 4];
                    for (int k = 0; k < 3; ++k)
                        c[k] += std::isfinite(p[k]) ? std::max(p[k], 0.0f) : 0.0f;
                }
            for (int k = 0; k < 3; ++k)
                rgb[(std::size_t(y) * w + x) * 3 + k] = c[k] * inv;
        }

    if (look.bloom && look.bloomStrength > 0) {
        // What is brighter than white (or everything without a threshold) glows, blurred at a
        // quarter of the size.
        const int bw = std::max(w / 4, 1), bh = std::max(h / 4, 1);
        std::vector<float> planes[3];
        for (auto& plane : planes)
            plane.assign(std::size_t(bw) * bh, 0.0f);
        for (int y = 0; y < bh * 4 && y < h; ++y)
            for (int x = 0; x < bw * 4 && x < w; ++x)
                for (int k = 0; k < 3; ++k) {
                    const float v = rgb[(std::size_t(y) * w + x) * 3 + k];
                    planes[k][std::size_t(y / 4) * bw + x / 4] +=
                        (look.bloomThreshold ? std::max(v - 1.0f, 0.0f) : v) / 16.0f;
                }
        const int radius = std::max(bw / 40, 2);
        for (auto& plane : planes)
            blur(plane, bw, bh, radius);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int k = 0; k < 3; ++k)
                    rgb[(std::size_t(y) * w + x) * 3 + k] +=
                        look.bloomStrength *
                        planes[k][std::size_t(std::min(y / 4, bh - 1)) * bw + std::min(x / 4, bw - 1)];
    }

    // White balance: warmer raises red and lowers blue; tint trades green for magenta.
    const float wb[3] = {1.0f + 0.3f * look.whiteTemperature + 0.1f * look.whiteTint,
                         1.0f - 0.2f * look.whiteTint,
                         1.0f - 0.3f * look.whiteTemperature + 0.1f * look.whiteTint};
    const float midGrey = 0.18f;
    static const SrgbTable srgb;
    const bool contrast = std::fabs(look.contrast - 1.0f) > 1e-4f;
    const bool saturation = std::fabs(look.saturation - 1.0f) > 1e-4f;
    QImage image(w, h, QImage::Format_RGB32);
    const float cx = 0.5f * float(w), cy = 0.5f * float(h);
    const float diagonal = std::sqrt(cx * cx + cy * cy);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            float c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = rgb[(std::size_t(y) * w + x) * 3 + k] * wb[k] * look.gain;
            const float luma = 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
            for (float& v : c) {
                if (saturation) v = luma + (v - luma) * look.saturation;
                // Contrast about mid grey, in stops.
                if (contrast && v > 0) v = midGrey * std::pow(v / midGrey, look.contrast);
                v = std::max(v, 0.0f);
            }
            float vignette = 1.0f;
            if (look.vignette) {
                const float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
                const float r = std::sqrt(dx * dx + dy * dy) / diagonal;
                vignette = 1.0f - look.vignetteAmount * std::clamp((r - 0.4f) / 0.6f, 0.0f, 1.0f);
            }
            int out[3];
            for (int k = 0; k < 3; ++k) {
                float v = zalViewerAces(c[k]) * vignette;
                if (look.gamma != 1.0f) v = std::pow(v, 1.0f / look.gamma);
                out[k] = srgb(v);
            }
            line[x] = qRgb(out[0], out[1], out[2]);
        }
    }
    return image;
}
