#include "zalViewerPathTraceView.h"

#include "zalViewerPathTraceSettings.h"
#include "zalViewerScene.h"
#include "zalViewerSettings.h"

namespace {

QString vectorText(const QVector3D& v)
{
    return QStringLiteral("%1,%2,%3")
        .arg(double(v.x()), 0, 'g', 9)
        .arg(double(v.y()), 0, 'g', 9)
        .arg(double(v.z()), 0, 'g', 9);
}

} // namespace

void zalViewerPathTraceView::follow(const zalViewerScene& scene, const zalViewerSettings& settings)
{
    m_tracer.setScene(scene);
    m_tracer.setEnvironment(zalViewerPathTraceSettings::environment(settings));
}

QImage zalViewerPathTraceView::windowFrame(const zalViewerScene& scene, const zalViewerSettings& settings,
                                           const zalViewerPathTraceCamera& camera, QSize size)
{
    follow(scene, settings);
    const zalViewerPathTraceOptions options = zalViewerPathTraceSettings::options(settings);
    const zalViewerPathTraceEnvironment environment = zalViewerPathTraceSettings::environment(settings);
    // Anything that changes the picture starts the gathering again.
    const QString key = QStringList{QString::number(scene.revision()),
                                    vectorText(camera.eye),
                                    vectorText(camera.target),
                                    vectorText(camera.up),
                                    QString::number(double(camera.fieldOfView), 'g', 9),
                                    QString::number(int(camera.horizontal)),
                                    QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                                    QString::number(options.maxBounces),
                                    QString::number(int(options.emissive)),
                                    QString::number(double(options.maxPathExposure), 'g', 9),
                                    QString::number(options.seed),
                                    vectorText(environment.toSun),
                                    vectorText(environment.sunIrradiance),
                                    QString::number(double(environment.sunAngularRadiusDeg), 'g', 9)}
                            .join(QLatin1Char('|'));
    if (key != m_frameKey || m_frame.size != size) {
        m_frameKey = key;
        m_frame.reset(size);
    }
    m_target = options.samplesPerPixel;
    if (m_frame.samples < m_target) m_tracer.accumulate(m_frame, camera, options, 1);
    return m_tracer.image(m_frame, options);
}

QImage zalViewerPathTraceView::still(const zalViewerScene& scene, const zalViewerSettings& settings,
                                     const zalViewerPathTraceCamera& camera, QSize size)
{
    follow(scene, settings);
    return m_tracer.render(camera, size, zalViewerPathTraceSettings::options(settings));
}

zalViewerPathTracer::Statistics zalViewerPathTraceView::castPrimary(const zalViewerPathTraceCamera& camera,
                                                                    QSize size)
{
    zalViewerPathTracer::Statistics statistics;
    m_tracer.castPrimary(camera, size, statistics);
    return statistics;
}
