// The drawing view's software rasterizer (zalSketchRaster) at 1k, 10k and 100k entities: each entity a
// box of six shaded faces with their edges, laid on a square grid that fills a 1280x800 view seen from
// above at an angle, as the drawing view shows a whole drawing after zoom-to-fit. Prints the time per
// frame (median of the rounds; wall clock, and the thread's CPU time, which a loaded machine disturbs
// less), per entity and per face, and the 100k/1k cost ratio per entity.
//
//   build/bin/bench_sketch_raster [rounds]
#include "platform/host/app/zalSketchRaster.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

std::vector<zalSketchPrimitive> boxes(int count, double& extent)
{
    const int side = int(std::ceil(std::sqrt(double(count))));
    extent = side * 2.0;
    std::vector<zalSketchPrimitive> primitives;
    primitives.reserve(size_t(count) * 6);
    for (int n = 0; n < count; ++n) {
        const double x = (n % side) * 2.0 - side, y = (n / side) * 2.0 - side;
        const double h = 0.5 + (n % 7) * 0.25;
        const OdGePoint3d c[8] = {{x, y, 0}, {x + 1, y, 0}, {x + 1, y + 1, 0}, {x, y + 1, 0},
                                  {x, y, h}, {x + 1, y, h}, {x + 1, y + 1, h}, {x, y + 1, h}};
        const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                 {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
        for (const auto& f : faces) {
            zalSketchPrimitive p;
            p.kind = zalSketchPrimitive::Face;
            p.closed = true;
            p.color = qRgb(90 + n % 120, 140, 200 - n % 90);
            p.points = {c[f[0]], c[f[1]], c[f[2]], c[f[3]]};
            primitives.push_back(std::move(p));
        }
    }
    return primitives;
}

zalSketchRaster::Camera cameraFor(double extent)
{
    // From above and to the side, the whole grid in view.
    OdGeVector3d z(0.4, -0.8, 1.0);
    z.normalize();
    OdGeVector3d x = OdGeVector3d::kZAxis.crossProduct(z);
    x.normalize();
    const OdGeVector3d y = z.crossProduct(x);
    zalSketchRaster::Camera camera;
    camera.fieldWidth = extent * 1.2;
    camera.distance = extent * 2.0;
    OdGeMatrix3d eyeToWorld;
    eyeToWorld.setCoordSystem(OdGePoint3d::kOrigin, x, y, z);
    camera.worldToEye = eyeToWorld.inverse();
    return camera;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QSize size(1280, 800);
    double perEntity1k = 0;
    std::printf("sketch raster, %dx%d, shaded, median of %d rounds\n", size.width(), size.height(), rounds);
    for (int count : {1000, 10000, 100000}) {
        double extent = 0;
        const std::vector<zalSketchPrimitive> primitives = boxes(count, extent);
        const zalSketchRaster::Camera camera = cameraFor(extent);
        zalSketchRaster raster;
        std::vector<double> ms, cpu;
        int drawn = 0;
        for (int r = 0; r < rounds; ++r) {
            QElapsedTimer t;
            const double cpu0 = threadCpuMs();
            t.start();
            raster.render(primitives, camera, size, true, [](const zalSketchPrimitive&) { return false; });
            ms.push_back(t.nsecsElapsed() / 1e6);
            cpu.push_back(threadCpuMs() - cpu0);
        }
        // Pixels that show something: the grid really fills the view.
        for (int y = 0; y < size.height(); y += 4)
            for (int x = 0; x < size.width(); x += 4)
                if (raster.primitiveAt(QPoint(x, y)) >= 0) ++drawn;
        std::sort(ms.begin(), ms.end());
        std::sort(cpu.begin(), cpu.end());
        const double median = ms[ms.size() / 2];
        const double cpuMedian = cpu[cpu.size() / 2];
        const double perEntity = cpuMedian * 1e3 / count;
        if (count == 1000) perEntity1k = perEntity;
        std::printf(
            "  %6d entities (%7zu faces): %7.1f ms per frame (%7.1f ms CPU), %6.2f us CPU per entity, "
            "%6.1f ns CPU per face, %4.1f %% of the view covered\n",
            count, primitives.size(), median, cpuMedian, perEntity,
            cpuMedian * 1e6 / double(primitives.size()),
            100.0 * drawn / double((size.width() / 4) * (size.height() / 4)));
        if (count == 100000)
            std::printf("sketch raster: per-entity CPU cost 100k/1k = %.2f\n", perEntity / perEntity1k);
    }
    return 0;
}
