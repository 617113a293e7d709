#include "zalViewerRenderer.h"

#include "zalViewerFountainMarker.h"
#include "zalViewerScene.h"
#include "zalViewerSettings.h"

#include <QOpenGLBuffer>
#include <QOpenGLFramebufferObject>
#include <QOpenGLShaderProgram>
#include <QtMath>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <vector>

namespace {

const char* kVertexShader = R"(
#version 120
attribute vec3 position;
attribute vec3 normal;
uniform mat4 model;
uniform mat4 viewProjection;
uniform mat3 normalMatrix;
varying vec3 vNormal;
varying vec3 vWorld;
void main() {
    vec4 world = model * vec4(position, 1.0);
    vWorld = world.xyz;
    vNormal = normalMatrix * normal;
    gl_Position = viewProjection * world;
}
)";

const char* kFragmentShader = R"(
#version 120
uniform vec3 colour;
uniform float opacity;
uniform vec3 sunDirection;
uniform vec3 eye;
uniform vec3 ambient;
uniform int lightCount;
uniform vec3 lightPosition[8];
uniform vec3 lightColour[8];
uniform float lightRadius[8];
uniform float exposure;
uniform float gamma;
uniform float saturation;
varying vec3 vNormal;
varying vec3 vWorld;
void main() {
    vec3 n = vNormal;
    if (length(n) < 1e-4)
        n = cross(dFdx(vWorld), dFdy(vWorld));
    n = normalize(n);
    vec3 toEye = normalize(eye - vWorld);
    // Two-sided: the host's faces have no reliable winding after its mirroring.
    if (dot(n, toEye) < 0.0)
        n = -n;
    vec3 light = ambient;
    light += vec3(1.0, 0.97, 0.9) * max(dot(n, sunDirection), 0.0);
    light += vec3(0.25) * max(dot(n, toEye), 0.0);
    for (int i = 0; i < 8; ++i) {
        if (i >= lightCount)
            break;
        vec3 d = lightPosition[i] - vWorld;
        float fall = clamp(1.0 - length(d) / lightRadius[i], 0.0, 1.0);
        light += lightColour[i] * fall * fall * max(dot(n, normalize(d)), 0.0);
    }
    vec3 c = colour * light * exposure;
    float luma = dot(c, vec3(0.299, 0.587, 0.114));
    c = mix(vec3(luma), c, saturation);
    c = pow(clamp(c, 0.0, 1.0), vec3(1.0 / max(gamma, 0.01)));
    gl_FragColor = vec4(c, opacity);
}
)";

// The host mirrors X (and scales to centimetres); drawing undoes the mirror so the picture is
// the drawing's, not its mirror image.
const QMatrix4x4 kUnmirror(-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

constexpr int kMaxDepth = 24;
constexpr float kBoxHalf = 50.0f;

QVector3D rgb(quint32 colour)
{
    return QVector3D(float(colour & 0xFF), float((colour >> 8) & 0xFF), float((colour >> 16) & 0xFF)) /
           255.0f;
}

struct Visit
{
    std::function<void(const zalViewerScene::Mesh&, const QMatrix4x4&)> mesh;
    std::function<void(const QMatrix4x4&, const QString& material)> box;
    // A fountain asset instance, by its name (the actor its SetFountainParams names).
    std::function<void(const QMatrix4x4&, const QString& name)> fountain;
};

void walk(const zalViewerScene& scene, const QString& owner, const QMatrix4x4& frame, int depth,
          const Visit& visit)
{
    if (depth > kMaxDepth) return;
    for (const zalViewerScene::Mesh* mesh : scene.meshesOf(owner))
        visit.mesh(*mesh, frame);
    for (const auto& entry : scene.instancesUnder(owner)) {
        const QString& name = entry.first->name;
        const zalViewerScene::Instance& inst = *entry.second;
        const QMatrix4x4 placed = frame * inst.transform;
        walk(scene, name, placed, depth + 1, visit);
        if (!inst.component.isEmpty() && inst.component != name) {
            walk(scene, inst.component, placed, depth + 1, visit);
        } else if (!inst.group && inst.component.isEmpty() &&
                   zalViewerFountainMarker::isFountain(inst.asset)) {
            visit.fountain(placed, name);
        } else if (!inst.group && inst.component.isEmpty() && !inst.asset.isEmpty() && inst.asset != name &&
                   scene.meshesOf(name).empty()) {
            // An asset the reference viewer cannot load: shown as a box where it stands.
            visit.box(placed, inst.material);
        }
    }
    for (const auto& entry : scene.spawnsUnder(owner)) {
        for (const QMatrix4x4& t : entry.second->transforms) {
            if (entry.second->component.isEmpty())
                visit.box(frame * t, entry.second->material);
            else
                walk(scene, entry.second->component, frame * t, depth + 1, visit);
        }
    }
}

void walkAll(const zalViewerScene& scene, const Visit& visit)
{
    walk(scene, QStringLiteral("Model"), kUnmirror, 0, visit);
    walk(scene, QString(), kUnmirror, 0, visit);
    for (const auto& entry : scene.placedAssets()) {
        if (entry.second.visible &&
            (entry.second.parent.isEmpty() || entry.second.parent == QLatin1String("Model")))
            visit.box(kUnmirror * entry.second.transform, QString());
    }
}

const float kCube[] = {
    // 12 triangles of a unit cube, positions only; the shader derives flat normals.
    -1, -1, -1, 1,  -1, -1, 1,  1,  -1, -1, -1, -1, 1, 1,  -1, -1, 1,  -1, -1, -1, 1,  1,  -1, 1,  1,  1,  1,
    -1, -1, 1,  1,  1,  1,  -1, 1,  1,  -1, -1, -1, 1, -1, -1, 1,  -1, 1,  -1, -1, -1, 1,  -1, 1,  -1, -1, 1,
    -1, 1,  -1, 1,  1,  -1, 1,  1,  1,  -1, 1,  -1, 1, 1,  1,  -1, 1,  1,  -1, -1, -1, -1, 1,  -1, -1, 1,  1,
    -1, -1, -1, -1, 1,  1,  -1, -1, 1,  1,  -1, -1, 1, 1,  -1, 1,  1,  1,  1,  -1, -1, 1,  1,  1,  1,  -1, 1};

} // namespace

struct zalViewerRenderer::GpuMesh
{
    QOpenGLBuffer positions{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer normals{QOpenGLBuffer::VertexBuffer};
    std::uint64_t revision = 0;
    int vertexCount = 0;
    bool hasNormals = false;
    bool used = false;
};

zalViewerRenderer::zalViewerRenderer() = default;

zalViewerRenderer::~zalViewerRenderer() = default;

bool zalViewerRenderer::initialize(QString& error)
{
    initializeOpenGLFunctions();
    m_program = std::make_unique<QOpenGLShaderProgram>();
    if (!m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
        !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader)) {
        error = QStringLiteral("shader compilation failed: ") + m_program->log();
        return false;
    }
    m_program->bindAttributeLocation("position", 0);
    m_program->bindAttributeLocation("normal", 1);
    if (!m_program->link()) {
        error = QStringLiteral("shader link failed: ") + m_program->log();
        return false;
    }
    m_box = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::VertexBuffer);
    m_box->create();
    m_box->bind();
    m_box->allocate(kCube, int(sizeof kCube));
    m_box->release();
    m_ready = true;
    return true;
}

void zalViewerRenderer::release()
{
    m_meshes.clear();
    m_box.reset();
    m_program.reset();
    m_ready = false;
}

bool zalViewerRenderer::bounds(const zalViewerScene& scene, QVector3D& low, QVector3D& high) const
{
    const float inf = std::numeric_limits<float>::infinity();
    low = QVector3D(inf, inf, inf);
    high = -low;
    bool any = false;
    auto add = [&](const QVector3D& a, const QVector3D& b, const QMatrix4x4& m) {
        for (int i = 0; i < 8; ++i) {
            const QVector3D corner(i & 1 ? b.x() : a.x(), i & 2 ? b.y() : a.y(), i & 4 ? b.z() : a.z());
            const QVector3D p = m.map(corner);
            if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(p.z())) continue;
            low = QVector3D(std::min(low.x(), p.x()), std::min(low.y(), p.y()), std::min(low.z(), p.z()));
            high = QVector3D(std::max(high.x(), p.x()), std::max(high.y(), p.y()), std::max(high.z(), p.z()));
            any = true;
        }
    };
    Visit visit;
    visit.mesh = [&](const zalViewerScene::Mesh& mesh, const QMatrix4x4& m) {
        QVector3D a, b;
        if (mesh.bounds(a, b)) add(a, b, m);
    };
    visit.box = [&](const QMatrix4x4& m, const QString&) {
        add(QVector3D(-kBoxHalf, -kBoxHalf, -kBoxHalf), QVector3D(kBoxHalf, kBoxHalf, kBoxHalf), m);
    };
    visit.fountain = [&](const QMatrix4x4& m, const QString&) {
        add(QVector3D(-250, -150, 0), QVector3D(50, 150, 250), m);
    };
    walkAll(scene, visit);
    return any;
}

zalViewerRenderer::View zalViewerRenderer::view(const zalViewerScene& scene,
                                                const zalViewerSettings& settings) const
{
    View v;
    if (settings.cameraSet && (settings.cameraPosition - settings.cameraAim).length() > 1e-6f) {
        v.eye = settings.cameraPosition;
        v.target = settings.cameraAim;
        v.up = settings.cameraUp.isNull() ? QVector3D(0, 0, 1) : settings.cameraUp;
        v.fieldOfView = settings.fieldOfView > 1 && settings.fieldOfView < 170 ? settings.fieldOfView : 60;
        return v;
    }
    QVector3D low, high;
    if (!bounds(scene, low, high)) {
        low = QVector3D(-100, -100, -100);
        high = QVector3D(100, 100, 100);
    }
    const QVector3D centre = (low + high) * 0.5f;
    const float radius = std::max((high - low).length() * 0.5f, 1.0f);
    const float distance = radius / std::sin(qDegreesToRadians(v.fieldOfView * 0.5f)) * 1.05f;
    v.target = centre;
    v.eye = centre + QVector3D(0.55f, -0.75f, 0.45f).normalized() * distance;
    return v;
}

void zalViewerRenderer::render(const zalViewerScene& scene, const zalViewerSettings& settings,
                               const View& view, QSize pixels)
{
    glViewport(0, 0, pixels.width(), pixels.height());
    glClearColor(0.62f, 0.70f, 0.80f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!m_ready) return;
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    QVector3D low, high;
    const bool any = bounds(scene, low, high);
    const float sceneSize = any ? std::max((high - low).length(), 1.0f) : 1000.0f;
    const float distance = (view.eye - view.target).length();
    const float far = distance + sceneSize * 2.0f;
    const float near = std::max(far * 1e-5f, std::max(distance - sceneSize * 1.5f, far * 1e-3f));
    QMatrix4x4 viewProjection;
    viewProjection.perspective(view.fieldOfView, float(pixels.width()) / float(std::max(pixels.height(), 1)),
                               near, far);
    QMatrix4x4 look;
    look.lookAt(view.eye, view.target, view.up);
    viewProjection *= look;

    // The sun from azimuth (clockwise from +Y, north) and elevation, in degrees.
    const float az = qDegreesToRadians(settings.sunAzimuth);
    const float el =
        qDegreesToRadians(settings.sunMode == QLatin1String("position") ? settings.sunElevation : 55.0f);
    const QVector3D sun =
        QVector3D(std::sin(az) * std::cos(el), std::cos(az) * std::cos(el), std::sin(el)).normalized();

    m_program->bind();
    m_program->setUniformValue("viewProjection", viewProjection);
    m_program->setUniformValue("sunDirection", sun);
    m_program->setUniformValue("eye", view.eye);
    m_program->setUniformValue("ambient", settings.aoColourSet ? settings.aoColour * 0.6f
                                                               : QVector3D(0.3f, 0.3f, 0.32f));
    m_program->setUniformValue("exposure", settings.exposure > 0 ? settings.exposure : 1.0f);
    m_program->setUniformValue("gamma", settings.gamma > 0 ? settings.gamma : 1.0f);
    m_program->setUniformValue("saturation", settings.saturation);

    QVector3D lightPositions[8], lightColours[8];
    GLfloat lightRadii[8];
    int lightCount = 0;
    for (const auto& entry : scene.lights()) {
        if (lightCount == 8) break;
        const zalViewerScene::Light& l = entry.second;
        if (!l.on || l.type == 3) continue;
        lightPositions[lightCount] = kUnmirror.map(l.transform.column(3).toVector3D());
        lightColours[lightCount] = rgb(l.colour) * 0.8f;
        lightRadii[lightCount] = std::max(l.attenuationRadius, 1.0f) * 10.0f + 500.0f;
        ++lightCount;
    }
    m_program->setUniformValue("lightCount", lightCount);
    m_program->setUniformValueArray("lightPosition", lightPositions, 8);
    m_program->setUniformValueArray("lightColour", lightColours, 8);
    m_program->setUniformValueArray("lightRadius", lightRadii, 8, 1);

    auto setMaterial = [&](const QString& material) {
        QVector3D colour(0.72f, 0.72f, 0.72f);
        float opacity = 1.0f;
        auto it = scene.materials().find(material);
        if (it != scene.materials().end()) {
            colour = rgb(it->second.colour);
            opacity = std::min(std::max(it->second.opacity, 0.05f), 1.0f);
        }
        m_program->setUniformValue("colour", colour);
        m_program->setUniformValue("opacity", opacity);
    };
    auto setModel = [&](const QMatrix4x4& model) {
        m_program->setUniformValue("model", model);
        m_program->setUniformValue("normalMatrix", model.normalMatrix());
    };

    for (auto& entry : m_meshes)
        entry.second->used = false;

    Visit visit;
    visit.mesh = [&](const zalViewerScene::Mesh& mesh, const QMatrix4x4& model) {
        if (mesh.vertexCount <= 0) return;
        std::unique_ptr<GpuMesh>& gpu = m_meshes[&mesh];
        if (!gpu || gpu->revision != mesh.revision) {
            gpu = std::make_unique<GpuMesh>();
            gpu->revision = mesh.revision;
            gpu->vertexCount = mesh.vertexCount;
            gpu->positions.create();
            gpu->positions.bind();
            gpu->positions.allocate(mesh.positions.data, int(mesh.positions.count * 4));
            gpu->hasNormals = mesh.normals.count == mesh.positions.count;
            if (gpu->hasNormals) {
                gpu->normals.create();
                gpu->normals.bind();
                gpu->normals.allocate(mesh.normals.data, int(mesh.normals.count * 4));
            }
        }
        gpu->used = true;
        setMaterial(mesh.material);
        setModel(model);
        gpu->positions.bind();
        m_program->enableAttributeArray(0);
        m_program->setAttributeBuffer(0, GL_FLOAT, 0, 3);
        if (gpu->hasNormals) {
            gpu->normals.bind();
            m_program->enableAttributeArray(1);
            m_program->setAttributeBuffer(1, GL_FLOAT, 0, 3);
        } else {
            m_program->disableAttributeArray(1);
            m_program->setAttributeValue(1, 0.0f, 0.0f, 0.0f);
        }
        glDrawArrays(GL_TRIANGLES, 0, gpu->vertexCount);
    };
    visit.box = [&](const QMatrix4x4& model, const QString& material) {
        setMaterial(material);
        QMatrix4x4 scaled = model;
        scaled.scale(kBoxHalf);
        setModel(scaled);
        m_box->bind();
        m_program->enableAttributeArray(0);
        m_program->setAttributeBuffer(0, GL_FLOAT, 0, 3);
        m_program->disableAttributeArray(1);
        m_program->setAttributeValue(1, 0.0f, 0.0f, 0.0f);
        glDrawArrays(GL_TRIANGLES, 0, 36);
    };
    QOpenGLBuffer drops(QOpenGLBuffer::VertexBuffer);
    visit.fountain = [&](const QMatrix4x4& model, const QString& name) {
        const QJsonObject parameters = settings.fountains.value(name);
        const std::vector<float> triangles = zalViewerFountainMarker::triangles(parameters);
        if (triangles.empty()) return;
        if (!drops.isCreated()) drops.create();
        drops.bind();
        drops.allocate(triangles.data(), int(triangles.size() * sizeof(float)));
        m_program->setUniformValue("colour", zalViewerFountainMarker::colour(parameters));
        m_program->setUniformValue("opacity", 0.85f);
        setModel(model);
        m_program->enableAttributeArray(0);
        m_program->setAttributeBuffer(0, GL_FLOAT, 0, 3);
        m_program->disableAttributeArray(1);
        m_program->setAttributeValue(1, 0.0f, 0.0f, 0.0f);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(triangles.size() / 3));
    };
    walkAll(scene, visit);
    m_program->disableAttributeArray(0);
    m_program->disableAttributeArray(1);
    QOpenGLBuffer::release(QOpenGLBuffer::VertexBuffer);
    m_program->release();

    // Buffers of meshes no longer drawn (removed or replaced) go now.
    for (auto it = m_meshes.begin(); it != m_meshes.end();)
        it = it->second->used ? std::next(it) : m_meshes.erase(it);
}

QImage zalViewerRenderer::renderImage(const zalViewerScene& scene, const zalViewerSettings& settings,
                                      const View& view, QSize size, QString& error)
{
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (size.width() <= 0 || size.height() <= 0 || size.width() > maxSize || size.height() > maxSize) {
        error = QStringLiteral("image size %1x%2 is outside 1..%3")
                    .arg(size.width())
                    .arg(size.height())
                    .arg(maxSize);
        return QImage();
    }
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    format.setSamples(4);
    QOpenGLFramebufferObject fbo(size, format);
    if (!fbo.isValid()) {
        error = QStringLiteral("cannot create a %1x%2 framebuffer").arg(size.width()).arg(size.height());
        return QImage();
    }
    fbo.bind();
    // The first frame into a fresh framebuffer can come back empty on software GL; the second is whole.
    render(scene, settings, view, size);
    glFinish();
    render(scene, settings, view, size);
    glFinish();
    QImage image = fbo.toImage();
    fbo.release();
    return image.convertToFormat(QImage::Format_RGB32);
}
