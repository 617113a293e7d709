#pragma once

#include <QString>
#include <QStringList>

// The animation arguments of zalhost: which frames to render where, and whether a Slurm farm
// renders them instead of this process.
struct zalFrameOptions
{
    int first = 0;
    int last = -1;     // below first: no frames asked for
    QString scene;     // a viewport name or a scene id; empty: the drawing's current scene
    QString outFolder; // frame_0001.png ... go here
    double fps = 30.0; // game time of frame n is n / fps seconds
    QString farm;      // "slurm", or empty to render here
    int chunk = 0;     // frames per array task; 0: the default
    int retries = 1;   // resubmissions of failed tasks

    bool isRequested() const { return last >= first; }
    bool isFarm() const { return !farm.isEmpty(); }
    int count() const { return isRequested() ? last - first + 1 : 0; }
    QString framePath(int frame) const;
    static QString frameName(int frame);

    // Takes arguments[i] (and its value) when it is one of these options: 1 taken, 0 not one of
    // them, -1 a bad value (error set).
    static int take(const QStringList& arguments, int& i, zalFrameOptions& options, QString& error);
    // Combinations that make no sense; false with error set.
    bool check(QString& error) const;
    static QString usage();
};
