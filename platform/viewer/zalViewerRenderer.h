#pragma once

#include <QImage>
#include <QSet>
#include <QSize>
#include <QString>
#include <QVector3D>

#include <cstddef>
#include <functional>
#include <memory>

class zalViewerScene;
struct zalViewerSettings;

// Draws the scene with Filament (physically based, OpenGL backend) offscreen and reads the frame
// back, so the window and "HighResShot" show the same picture: the window only presents it.
// Meshes go into GPU buffers once per mesh revision and every placement of a mesh shares them;
// what is drawn follows the scene's changes, so an edit costs what it touches; the sun, sky, lights,
// post-processing and camera follow the settings on every frame. Created and used on the GUI thread; it owns
// its Filament engine.
class zalViewerRenderer
{
public:
    // Where the camera looks from, in the scene frame (the host's X mirror undone, centimetres).
    struct View
    {
        QVector3D eye, target, up{0, 0, 1};
        float fieldOfView = 60; // degrees, vertical unless `horizontal`
        bool horizontal = false;
        bool orthographic = false;
    };
    struct Statistics
    {
        long long triangles = 0; // drawn in the last frame, all placements counted
        int renderables = 0;
        int meshBuffers = 0; // vertex buffers held, one per mesh
        int materials = 0;
        int textures = 0;
        double frameMs = 0; // the last frame: scene update, drawing, read-back and finish
        // The last drawing built from scratch: in how many steps, from its first step to its last, and
        // its longest step; and how many such builds a picture or the fitted camera had to finish at once.
        int buildSlices = 0;
        double buildMs = 0;
        double longestBuildSliceMs = 0;
        int buildsFinishedAtOnce = 0;
        // Units of work that build took (children made, batches put together by their vertices), and how
        // many builds from scratch were begun (the first drawing's, and any that starting over forced).
        long long buildUnits = 0;
        int buildsStarted = 0;
        // The most units a step of that build made before a waiting message ended it, beyond the work
        // that edits since the step before had undone: what an edit made during the build waited for.
        long long mostUnitsBeforeAnswer = 0;
        // The build from scratch under way, if any: its steps and units of work so far.
        int buildingSteps = 0;
        long long buildingUnits = 0;
        // Things changed that the drawing has read from the scene's log and not yet followed (each
        // counted once however often it changed).
        std::size_t changesTakenIn = 0;
    };

    zalViewerRenderer();
    ~zalViewerRenderer();

    // Starts Filament; false with `error` when there is no usable OpenGL.
    bool initialize(QString& error);
    void release();
    // Folders where texture names that are not absolute are looked up.
    void setTextureFolders(const QStringList& folders);

    // The camera the host set, or one that shows the whole scene.
    View view(const zalViewerScene& scene, const zalViewerSettings& settings) const;
    // Bounds of everything drawn, in the scene frame; false when nothing is drawn.
    bool bounds(const zalViewerScene& scene, QVector3D& low, QVector3D& high) const;
    // Bounds of what the named instances hold (meshes, assets, at any depth); false when nothing.
    bool bounds(const zalViewerScene& scene, const QSet<QString>* only, QVector3D& low,
                QVector3D& high) const;
    // Near and far planes for a view that keep the whole scene between them.
    static void clipPlanes(const View& view, const QVector3D& low, const QVector3D& high, bool any,
                           float& near, float& far);

    // One frame at exactly `size`; a null image (and `error`) when the size is beyond the GPU.
    QImage renderImage(const zalViewerScene& scene, const zalViewerSettings& settings, const View& view,
                       QSize size, QString& error);
    // Brings the drawing up to date with the scene for about `budgetMs` at most (one step at least) and
    // says whether it is. A large scene's first drawing takes several calls; changes to the scene in
    // between are followed. Everything else here (pictures, bounds, the fitted camera) finishes the
    // drawing first, so it always sees the whole scene.
    bool prepare(const zalViewerScene& scene, int budgetMs);
    // The same, ending a step as soon as `waiting` says something waits (an edit to acknowledge).
    bool prepare(const zalViewerScene& scene, int budgetMs, const std::function<bool()>& waiting);
    bool isBuilding() const;
    // The same in two steps, so the caller can do other work while the driver draws: startFrame
    // brings the drawing up to date and hands the frame to the driver; frameReady tells without
    // waiting whether takeFrame would wait.
    bool startFrame(const zalViewerScene& scene, const zalViewerSettings& settings, const View& view,
                    QSize size, QString& error);
    bool frameReady();
    QImage takeFrame(QString& error);
    // How many of the scene's changes the drawing has followed (zalViewerScene::changeCount).
    std::uint64_t followedChanges() const;
    // Reads the scene's changes without drawing, for while no frame or build step comes: the scene then
    // need not keep them, and the drawing follows each thing changed once when it is next brought up to
    // date (or builds anew, if that is cheaper).
    void takeChanges(const zalViewerScene& scene);

    Statistics statistics() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
