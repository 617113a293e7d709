#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector3D>

#include <deque>

// What the host has set through console commands and the view operations: console variables,
// actor properties, post-process fields, sun, tone mapper, game time, pause, path tracing, camera,
// navigation and the input records received.
struct zalViewerSettings
{
    QMap<QString, QString> consoleVariables;      // "r.Shadow.FadeResolution" -> "1.27324"
    QMap<QString, QMap<QString, QString>> actors; // "Set <actor> <property> <value>"
    QMap<QString, QString> postProcess;           // fields of "Set PostProcessVolume Settings (...)"
    QMap<QString, QString> actorCalls;            // "CallOnActor <name> <arguments>"
    QMap<QString, QJsonObject> fountains;         // parsed SetFountainParams per actor
    QVector3D aoColour{0.5f, 0.5f, 0.5f};
    bool aoColourSet = false;

    QString sunMode; // "", "position" or "time"
    int sunNorthOffset = 0;
    float sunAzimuth = 0, sunElevation = 65;
    float sunLatitude = 0, sunLongitude = 0, sunSolarTime = 0;
    int sunYear = 0, sunMonth = 0, sunDay = 0;

    bool toneMapperSet = false;
    float exposure = 1, contrast = 1, saturation = 1, gamma = 1;
    bool autoExposure = true;

    double gameTime = 0;
    bool gamePaused = false; // toggled by "pause"
    int pathTracing = 0;
    bool renderPaused = false;
    // "zal.DrawingStepMs": a large drawing is built in steps of about this long; -1 holds it after its
    // first step (what needs the whole drawing then finishes it), to see what waits for it.
    int drawingStepMs = 20;
    // "zal.TransactionFrameHoldMs": how long after a transaction's beginning a frame may wait for its end
    // (0: frames never wait).
    int transactionFrameHoldMs = 1000;
    bool vr = false;

    bool cameraSet = false;
    QVector3D cameraAim, cameraPosition, cameraUp{0, 0, 1};
    bool cameraAnimate = false, cameraOrthographic = false;
    float fieldOfView = 60, aspectRatio = 1;
    int cameraViewIndex = 0, cameraFlags = 0;
    QString cameraName;

    int navigationType = 2;
    int navigationSpeed = 0;

    long inputCount = 0;
    std::deque<QJsonObject> lastInputs; // the most recent records, oldest first

    QStringList consoleLog; // every command, in arrival order
    QStringList unknownCommands;
    QStringList uiRequests;    // "ShowOutliner", "PostProcessSettings"
    QStringList highlighted;   // instances the host has selected: outlined in the window, not in pictures
    int materialRefreshes = 0; // "refresh_materials"
    QStringList screenshots;   // files written
    QStringList materialMaps;  // files written by generateMaterialMaps
    QStringList messages;      // names of sendMessage calls

    QJsonObject toJson() const;
};
