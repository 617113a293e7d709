#include "zalFrameProduction.h"

#include "IzalUnrealRenderModule.h"

#include "DbViewportTable.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include <cstdio>

namespace {

// Scene files come back from INI as text: "true" must count as on, as must any positive number.
bool isOn(const QVariant& value)
{
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true")) return true;
    return value.toInt() > 0;
}

} // namespace

zalFrameProduction::zalFrameProduction(IzalUnrealRenderModule* module, OdDbDatabase* db,
                                       const zalFrameOptions& frames, QSize size, int frameTimeoutSeconds,
                                       QObject* parent)
    : QObject(parent), m_module(module), m_db(db), m_frames(frames), m_size(size),
      m_frameTimeoutSeconds(frameTimeoutSeconds)
{
    m_poll.setInterval(50);
    connect(&m_poll, &QTimer::timeout, this, &zalFrameProduction::poll);
    m_frameTimeout.setSingleShot(true);
    connect(&m_frameTimeout, &QTimer::timeout, this, [this] {
        finish(5, QStringLiteral("frame %1: the viewer did not write %2 within %3 s")
                      .arg(m_frame)
                      .arg(m_path)
                      .arg(m_frameTimeoutSeconds));
    });
}

int zalFrameProduction::sceneId(OdDbDatabase* db, const QString& name)
{
    if (!db || name.isEmpty()) return 0;
    OdDbViewportTablePtr viewports = OdDbViewportTable::cast(db->getViewportTableId().openObject());
    if (!viewports.isNull()) {
        const OdDbObjectId id = viewports->getAt(OdString(name.toStdWString()));
        if (!id.isNull()) return int(OdUInt32(id.getHandle().value() & 0xFFFFFFFFu));
    }
    bool ok = false;
    qulonglong handle = name.toULongLong(&ok, 10);
    if (!ok) handle = name.toULongLong(&ok, 16);
    if (!ok || handle == 0 || handle > 0xFFFFFFFFull) return 0;
    return db->getOdDbObjectId(OdDbHandle(OdUInt64(handle))).isNull() ? 0 : int(OdUInt32(handle));
}

void zalFrameProduction::start()
{
    if (!m_frames.scene.isEmpty()) {
        const int id = sceneId(m_db.get(), m_frames.scene);
        if (id == 0)
            return finish(
                2,
                QStringLiteral("--scene %1: the drawing has no such viewport or scene").arg(m_frames.scene));
        m_module->setCurrentScene(m_db, id);
    }
    if (!QDir().mkpath(m_frames.outFolder))
        return finish(2, m_frames.outFolder + QStringLiteral(": the output folder cannot be made"));

    // The animation production keys win over the scene's live ones, as the settings applier reads them.
    const QVariant live = m_module->getSceneSettings(QStringLiteral("RenderSettings/EnablePathTracing"), 0);
    m_pathTracer =
        isOn(m_module->getSceneSettings(QStringLiteral("AnimationProduction/EnablePathTracing"), live));
    m_module->setProductionMode(true, true, false, m_pathTracer);
    bool animation = false, preview = false, tracer = false;
    if (!m_module->isProducing(animation, preview, tracer) || !animation)
        return finish(3, QStringLiteral("the viewer is not reachable for production"));
    std::printf("zalhost: rendering frames %d-%d of scene %d (%s, %s) at %dx%d into %s\n", m_frames.first,
                m_frames.last, m_module->currentScene(m_db),
                m_module->currentScenePath(m_db).toLocal8Bit().constData(),
                m_pathTracer ? "path traced" : "raster", m_size.width(), m_size.height(),
                m_frames.outFolder.toLocal8Bit().constData());
    std::fflush(stdout);
    m_frame = m_frames.first - 1;
    nextFrame();
}

void zalFrameProduction::nextFrame()
{
    if (m_done) return;
    if (++m_frame > m_frames.last) {
        return finish(0, QStringLiteral("%1 frame%2 (%3 to %4) in %5")
                             .arg(m_frames.count())
                             .arg(m_frames.count() == 1 ? "" : "s")
                             .arg(zalFrameOptions::frameName(m_frames.first),
                                  zalFrameOptions::frameName(m_frames.last), m_frames.outFolder));
    }
    m_path = m_frames.framePath(m_frame);
    // Only a file the viewer writes now counts; whatever is in the way fails the frame here, with
    // its name, instead of a time-out.
    const QFileInfo existing(m_path);
    if (existing.isDir() || (existing.exists() && !QFile::remove(m_path)))
        return finish(5, QStringLiteral("frame %1: cannot write %2 (%3 is in the way)")
                             .arg(m_frame)
                             .arg(m_path)
                             .arg(existing.isDir() ? "a folder" : "a file that cannot be removed"));
    if (!QFileInfo(QFileInfo(m_path).absolutePath()).isWritable())
        return finish(
            5,
            QStringLiteral("frame %1: cannot write %2 (the folder is read-only)").arg(m_frame).arg(m_path));

    m_module->setGameTimeSeconds(float(m_frame / m_frames.fps));
    if (!m_module->exportImage(m_path, m_size, 0))
        return finish(3, QStringLiteral("frame %1: the viewer is not reachable").arg(m_frame));
    m_frameTimeout.start(m_frameTimeoutSeconds * 1000);
    m_poll.start();
}

void zalFrameProduction::poll()
{
    // The viewer writes under a temporary name and renames: a file that exists is complete.
    if (!QFileInfo::exists(m_path)) return;
    m_poll.stop();
    m_frameTimeout.stop();
    QImageReader reader(m_path);
    if (reader.format() != "png" || reader.size() != m_size) {
        return finish(5, QStringLiteral("frame %1: %2 is not a %3x%4 PNG")
                             .arg(m_frame)
                             .arg(m_path)
                             .arg(m_size.width())
                             .arg(m_size.height()));
    }
    std::printf("zalhost: frame %d: %s\n", m_frame, m_path.toLocal8Bit().constData());
    std::fflush(stdout);
    nextFrame();
}

void zalFrameProduction::finish(int code, const QString& message)
{
    if (m_done) return;
    m_done = true;
    m_poll.stop();
    m_frameTimeout.stop();
    m_module->setProductionMode(false, false, false, m_pathTracer);
    emit finished(code, message);
}
