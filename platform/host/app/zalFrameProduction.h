#pragma once

#include "zalFrameOptions.h"

#include "DbDatabase.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

class IzalUnrealRenderModule;

// Renders a range of animation frames through the render module's production path: the scene
// chosen, production mode on (path traced when the scene says so), then for each frame its game
// time and a high-resolution shot into frame_NNNN.png, waiting for the viewer to write it before
// the next. Created by the headless run once the viewer holds the drawing; owned by its parent.
class zalFrameProduction : public QObject
{
    Q_OBJECT
public:
    zalFrameProduction(IzalUnrealRenderModule* module, OdDbDatabase* db, const zalFrameOptions& frames,
                       QSize size, int frameTimeoutSeconds, QObject* parent = nullptr);

    void start();

    // The scene id a --scene value names: a viewport record's name, or a scene id (decimal, or a
    // hexadecimal handle) of an object the drawing holds; 0 when it names nothing.
    static int sceneId(OdDbDatabase* db, const QString& name);

signals:
    // code 0 with "N frames (...) in FOLDER" when every frame is written; else the headless run's failure
    // code and one line naming the frame.
    void finished(int code, const QString& message);

private:
    void nextFrame();
    void poll();
    void finish(int code, const QString& message);

    IzalUnrealRenderModule* m_module;
    OdDbDatabasePtr m_db;
    zalFrameOptions m_frames;
    QSize m_size;
    int m_frameTimeoutSeconds;
    bool m_pathTracer = false;
    bool m_done = false;
    int m_frame = 0;
    QString m_path;
    QTimer m_poll;
    QTimer m_frameTimeout;
};
