#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

#include "zalFrameOptions.h"

// What the zalhost executable was asked to do. Without a script, an image, a dump or --headless it
// opens its window (with --open's drawing, if any); otherwise it runs headless and exits.
struct zalAppOptions
{
    QString openFile;
    QString scriptFile;
    QString exportImage;
    QString dumpScene;
    QSize size = QSize(1280, 720);
    int timeoutSeconds = 120;
    bool headless = false;
    bool help = false;
    zalFrameOptions frames;

    // False with error set (one line) for arguments that make no sense.
    static bool parse(const QStringList& arguments, zalAppOptions& options, QString& error);
    static QString usage();
};
