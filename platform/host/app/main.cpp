// zalhost: the reference CAD host. With a window it shows open drawings beside their render views;
// headless it runs one drawing through the render module and the viewer (see --help).
#include "zalAppOptions.h"
#include "zalCommandLine.h"
#include "zalDocumentManager.h"
#include "zalDrawingImporter.h"
#include "zalFarmConsole.h"
#include "zalHeadlessRunner.h"
#include "zalHostApplication.h"
#include "zalHostCommands.h"
#include "zalHostMainWindow.h"
#include "zalKeepAwakeInhibitor.h"
#include "zalPropEditorServices.h"

#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    zalAppOptions options;
    QString error;
    if (!zalAppOptions::parse(arguments, options, error)) {
        std::fprintf(stderr, "zalhost: %s (see --help)\n", error.toLocal8Bit().constData());
        return 64;
    }
    if (options.help) {
        std::printf("%s%s", zalAppOptions::usage().toLocal8Bit().constData(),
                    zalFrameOptions::usage().toLocal8Bit().constData());
        return 0;
    }
    // A headless run reads its drawing first: a file that cannot be opened is told before anything starts.
    OdDbDatabasePtr drawing;
    if (options.headless) {
        drawing = OdDbDatabase::createObject();
        const zalImportResult result = zalDrawingImporter::importFile(options.openFile, drawing.get());
        if (!result.ok) {
            std::fprintf(stderr, "zalhost: %s\n", result.message.toLocal8Bit().constData());
            return 2;
        }
        std::printf("zalhost: opened %s: %d entities, %d blocks, %d materials, %d lights\n",
                    QFileInfo(options.openFile).fileName().toLocal8Bit().constData(), result.entities,
                    result.blocks, result.materials, result.lights);
        std::fflush(stdout);
    }
    // The farm's tasks render; this process only submits and follows them, with no display.
    if (options.frames.isFarm()) return zalRunFarmFromCommandLine(argc, argv, options);
    // The viewer draws with OpenGL on an X server; without one it could only time out.
    if (options.headless && qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "zalhost: no X display for the viewer (run it under xvfb-run)\n");
        return 3;
    }

    zalHostOptions hostOptions;
    hostOptions.interactive = !options.headless;
    zalHostApplication app(argc, argv, hostOptions);
    // Property pages (the render settings panel, entity pages) are drawn by the host's editor; the
    // services must exist before modules register their property sources.
    zalPropEditorServices::registerServices();
    zalKeepAwakeInhibitor keepAwake;
    zalHostCommands::registerAll();
    zalDocumentManager documents(&app);

    QString moduleMessage;
    const bool moduleLoaded = documents.loadRenderModule(&moduleMessage);
    if (!moduleLoaded && options.headless) {
        std::fprintf(stderr, "zalhost: %s\n", moduleMessage.toLocal8Bit().constData());
        return 3;
    }

    int code = 0;
    {
        zalHostMainWindow window(&app, &documents);
        if (!moduleLoaded) window.commandLine()->append(moduleMessage);
        window.show();
        if (options.headless) {
            // Models are read again once the host exists, so their materials get physical descriptions.
            const bool reread = !zalDrawingImporter::isDxf(options.openFile);
            zalHeadlessRunner runner(&app, &documents, &window, options, reread ? nullptr : drawing.get());
            QObject::connect(&runner, &zalHeadlessRunner::finished, &app, [&app](int result) {
                // Leave the event loop first; the window closes its drawings (and the viewer) afterwards.
                QTimer::singleShot(0, &app, [&app, result] { app.exit(result); });
            });
            QTimer::singleShot(0, &runner, &zalHeadlessRunner::start);
            code = app.exec();
            window.close();
        } else {
            if (!options.openFile.isEmpty()) {
                QString message;
                if (!documents.openDrawing(options.openFile, &message))
                    std::fprintf(stderr, "zalhost: %s\n", message.toLocal8Bit().constData());
                window.commandLine()->append(message);
            }
            code = app.exec();
        }
    }
    zalHostCommands::unregisterAll();
    zalPropEditorServices::unregisterServices();
    return code;
}
