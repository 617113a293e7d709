#pragma once

#include "zalViewerPathTracer.h"

#include <QImage>
#include <QString>

class zalViewerScene;
struct zalViewerSettings;

// What the viewer shows while path tracing is on: window frames that gather one more sample per
// pixel each (starting again when the scene, the camera, the size or a setting changes), and
// stills at the settings' sample count. The application owns one.
class zalViewerPathTraceView
{
public:
    // The next window frame.
    QImage windowFrame(const zalViewerScene& scene, const zalViewerSettings& settings,
                       const zalViewerPathTraceCamera& camera, QSize size);
    // True while the window's picture has fewer samples than the settings ask for.
    bool isGathering() const { return m_frame.samples < m_target; }
    int windowSamples() const { return m_frame.samples; }

    // A whole picture ("HighResShot"): the same for the same scene, camera, settings and game
    // time, whichever process renders it.
    QImage still(const zalViewerScene& scene, const zalViewerSettings& settings,
                 const zalViewerPathTraceCamera& camera, QSize size);

    const zalViewerPathTracer::Statistics& statistics() const { return m_tracer.statistics(); }
    // Embree's plain primary-ray throughput on the scene of the last still (the tracer's ceiling).
    zalViewerPathTracer::Statistics castPrimary(const zalViewerPathTraceCamera& camera, QSize size);

private:
    void follow(const zalViewerScene& scene, const zalViewerSettings& settings);

    zalViewerPathTracer m_tracer;
    zalViewerPathTraceFrame m_frame;
    QString m_frameKey;
    int m_target = 0;
};
