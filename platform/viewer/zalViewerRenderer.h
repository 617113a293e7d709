#pragma once

#include <QImage>
#include <QMatrix4x4>
#include <QOpenGLFunctions>
#include <QSize>
#include <QString>
#include <QVector3D>

#include <map>
#include <memory>

class QOpenGLShaderProgram;
class QOpenGLBuffer;
class zalViewerScene;
struct zalViewerSettings;

// Draws the scene with plain OpenGL (GLSL 1.20, so it runs on any Mesa): lit, two-sided,
// coloured by material, under the sun, the host's lights and a fill light. Needs a current
// context; GPU buffers follow the scene's meshes and are dropped when a mesh goes.
class zalViewerRenderer : protected QOpenGLFunctions
{
public:
    // Where the camera looks from, in the host's unmirrored frame (centimetres).
    struct View
    {
        QVector3D eye, target, up{0, 0, 1};
        float fieldOfView = 60;
    };

    zalViewerRenderer();
    ~zalViewerRenderer();

    bool initialize(QString& error);
    void release();

    // The camera the host set, or one that shows the whole scene.
    View view(const zalViewerScene& scene, const zalViewerSettings& settings) const;
    // Bounds of everything drawn, in the unmirrored frame; false when nothing is drawn.
    bool bounds(const zalViewerScene& scene, QVector3D& low, QVector3D& high) const;

    // Into the bound framebuffer.
    void render(const zalViewerScene& scene, const zalViewerSettings& settings, const View& view,
                QSize pixels);
    // Offscreen at exactly `size`; a null image (and `error`) when the size is beyond the GPU.
    QImage renderImage(const zalViewerScene& scene, const zalViewerSettings& settings, const View& view,
                       QSize size, QString& error);

private:
    struct GpuMesh;
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    std::unique_ptr<QOpenGLBuffer> m_box;
    std::map<const void*, std::unique_ptr<GpuMesh>> m_meshes;
    bool m_ready = false;
};
