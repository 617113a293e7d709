#pragma once

#include <QImage>
#include <QSize>
#include <QVector3D>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class zalViewerScene;

// Where the camera looks from, in the host's unmirrored frame (centimetres), as the real-time
// renderer frames it.
struct zalViewerPathTraceCamera
{
    QVector3D eye, target, up{0, 0, 1};
    float fieldOfView = 60; // degrees, vertical unless `horizontal`
    bool horizontal = false;
};

// What a render is asked for: the path-tracing settings of the post-process volume.
struct zalViewerPathTraceOptions
{
    int samplesPerPixel = 16;
    int maxBounces = 8;
    bool emissive = true;
    float maxPathExposure = 30; // a sample brighter than this (luminance) is scaled down to it
    bool denoise = false;
    std::uint64_t seed = 0; // frames with the same seed are the same, whichever process renders them
    float exposure = 1, gamma = 1, saturation = 1; // the tone mapper's manual exposure, gamma and saturation
    bool autoExposure = false;                     // meter the picture instead of `exposure`
    float exposureBias = 0;                        // stops, with auto exposure
};

// Light that does not come from the scene's meshes and lights: the sun (a small disc) and the sky.
struct zalViewerPathTraceEnvironment
{
    bool sunOn = true;
    QVector3D toSun{0, 0, 1};
    QVector3D sunIrradiance{3, 3, 3}; // on a surface facing the sun
    float sunAngularRadiusDeg = 0.25f;
    // Radiance of the sky in a direction (without the sun's disc); null gives a black sky.
    std::function<QVector3D(const QVector3D& direction)> sky;
};

// Accumulated samples of one picture: sums per pixel, so that more samples can be added later.
struct zalViewerPathTraceFrame
{
    QSize size;
    int samples = 0;
    std::vector<float> colour; // rgb sums
    std::vector<float> albedo; // rgb sums of the first surface's base colour (the denoiser's guide)
    std::vector<float> normal; // xyz sums of the first surface's normal
    std::vector<float> depth;  // sums of the first hit's distance, 0 for the sky

    void reset(QSize pixels);
    // Mean radiance of one pixel.
    QVector3D radiance(int x, int y) const;
};

// Path tracer over Intel Embree: one BVH per mesh of the viewer's scene, instanced for every
// placement. Not thread-safe; render calls use all cores (OpenMP).
class zalViewerPathTracer
{
public:
    struct Statistics
    {
        std::uint64_t rays = 0;    // all rays traced by the last accumulate()
        double seconds = 0;        // time of the last accumulate()
        int meshBuilds = 0;        // mesh BVHs built by the last setScene()
        int meshesKept = 0;        // mesh BVHs kept from before by the last setScene()
        int placements = 0;        // instances in the top-level BVH
        std::size_t triangles = 0; // triangles of all mesh BVHs
        double buildSeconds = 0;   // time of the last setScene()
        std::uint64_t totalMeshBuilds = 0;
    };

    // Radiance inside the tracer is in units of 1/25000 cd/m^2: the default sun (75000 lux at
    // its zenith) then gives an irradiance of 3, and a white surface under it about 1, which
    // maps to white without any exposure setting, as in the real-time renderer.
    static constexpr float kTracerUnitsPerNit = 1.0f / 25000.0f;
    static constexpr float kTracerUnitsPerLux = 1.0f / 25000.0f;

    zalViewerPathTracer();
    ~zalViewerPathTracer();
    zalViewerPathTracer(const zalViewerPathTracer&) = delete;
    zalViewerPathTracer& operator=(const zalViewerPathTracer&) = delete;

    // Follows the scene: builds BVHs for meshes that are new or replaced, drops those of removed
    // meshes, re-reads materials and lights. Cheap when the scene's revision has not moved.
    void setScene(const zalViewerScene& scene);
    void setEnvironment(const zalViewerPathTraceEnvironment& environment);

    // Adds samples [frame.samples, frame.samples + count) to every pixel. Sample k of a pixel
    // depends only on the seed, the pixel and k, so adding 64 one at a time gives the same sums
    // as adding 64 at once.
    void accumulate(zalViewerPathTraceFrame& frame, const zalViewerPathTraceCamera& camera,
                    const zalViewerPathTraceOptions& options, int count);
    // The displayed picture: mean radiance (denoised when asked), exposed, through a filmic curve,
    // sRGB-encoded.
    QImage image(const zalViewerPathTraceFrame& frame, const zalViewerPathTraceOptions& options) const;
    // A whole still: options.samplesPerPixel samples into a fresh frame.
    QImage render(const zalViewerPathTraceCamera& camera, QSize size,
                  const zalViewerPathTraceOptions& options, zalViewerPathTraceFrame* keep = nullptr);

    // Primary rays only, no shading: Embree's plain ray-casting throughput on the same scene,
    // as the ceiling for the tracer (benchmarks). Returns hits.
    std::uint64_t castPrimary(const zalViewerPathTraceCamera& camera, QSize size, Statistics& statistics);

    const Statistics& statistics() const { return m_statistics; }

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    Statistics m_statistics;
};
