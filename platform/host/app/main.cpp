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
#include "zalHostPhysicsMaterials.h"
#include "zalKeepAwakeInhibitor.h"
#include "zalLoadWatchdog.h"
#include "zalPropEditorServices.h"
#include "zalSanitizedBuild.h"
#include "zalViewerProcessWatch.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <memory>

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
    // The host's material library does not exist yet: model materials get their physical descriptions
    // here and are handed over once it does, so the file is read only once.
    QString materialLibraryRoot;
    std::unique_ptr<zalHostPhysicsMaterials> importedMaterials;
    bool rereadDrawing = false;
    QElapsedTimer loading;
    if (options.headless) {
        // Where the application puts its library (beside the executable).
        materialLibraryRoot =
            QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath() +
            QStringLiteral("/MaterialLibrary");
        importedMaterials = std::make_unique<zalHostPhysicsMaterials>(materialLibraryRoot);
        drawing = OdDbDatabase::createObject();
        loading.start();
        // Loading runs before the event loop, so --timeout needs its own watchdog here.
        zalLoadWatchdog watchdog(options.timeoutSeconds, options.openFile);
        const zalImportResult result =
            zalDrawingImporter::importFile(options.openFile, drawing.get(), importedMaterials.get());
        watchdog.disarm();
        if (!result.ok) {
            std::fprintf(stderr, "zalhost: %s\n", result.message.toLocal8Bit().constData());
            return 2;
        }
        for (const QString& warning : result.warnings)
            std::fprintf(stderr, "zalhost: warning: %s\n", warning.toLocal8Bit().constData());
        // Entities of the module's classes can be made only once the module is loaded.
        rereadDrawing = result.deferred > 0;
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
    hostOptions.materialLibraryRoot = materialLibraryRoot;
    zalHostApplication app(argc, argv, hostOptions);
    if (importedMaterials && app.physicsMaterials())
        app.physicsMaterials()->adoptDescriptions(*importedMaterials);
    // Property pages (the render settings panel, entity pages) are drawn by the host's editor; the
    // services must exist before modules register their property sources.
    zalPropEditorServices::registerServices();
    zalKeepAwakeInhibitor keepAwake;
    zalHostCommands::registerAll();
    zalDocumentManager documents(&app);
    if (auto* services = dynamic_cast<zalPropEditorServices*>(odrxPropServices().get()))
        services->setOpenDrawings([&documents] { return documents.drawings(); });

    QString moduleMessage;
    const bool moduleLoaded = documents.loadRenderModule(&moduleMessage);
    if (!moduleLoaded && options.headless) {
        std::fprintf(stderr, "zalhost: %s\n", moduleMessage.toLocal8Bit().constData());
        return 3;
    }

    // Entities of the module's classes can be made only now that the module has registered them:
    // the drawing is read again, and --timeout covers both reads together.
    if (rereadDrawing && moduleLoaded) {
        const qint64 spent = loading.elapsed();
        loading.start();
        zalLoadWatchdog watchdog(options.timeoutSeconds, options.openFile, spent);
        drawing = OdDbDatabase::createObject();
        const zalImportResult result =
            zalDrawingImporter::importFile(options.openFile, drawing.get(), app.physicsMaterials());
        watchdog.disarm();
        if (!result.ok) {
            std::fprintf(stderr, "zalhost: %s\n", result.message.toLocal8Bit().constData());
            return 2;
        }
        std::printf("zalhost: read %s again for the module's entities (%lld ms in all)\n",
                    QFileInfo(options.openFile).fileName().toLocal8Bit().constData(),
                    static_cast<long long>(spent + loading.elapsed()));
        std::fflush(stdout);
    }

    int code = 0;
    {
        zalHostMainWindow window(&app, &documents);
        // Nobody is there to answer: a headless run ends without asking about its edits.
        window.setAskToSave(!options.headless);
        if (!moduleLoaded) window.commandLine()->append(moduleMessage);
        window.show();
        if (options.headless) {
            zalHeadlessRunner runner(&app, &documents, &window, options, drawing.get());
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
                if (!documents.openDrawing(options.openFile, &message)) {
                    std::fprintf(stderr, "zalhost: %s\n", message.toLocal8Bit().constData());
                    window.showOpenError(message);
                }
                window.commandLine()->append(message);
            }
            code = app.exec();
        }
    }
    // A viewer that did not take the close (stopped, or hung) must not outlive its host.
    zalViewerProcessWatch::endAll();
    // A headless run ends here: freeing a large drawing object by object only delays the exit. Sanitized
    // builds free it, so their leak checks stay meaningful.
    if (options.headless && !zalSanitizedBuild()) drawing.detach();
    zalHostCommands::unregisterAll();
    if (auto* services = dynamic_cast<zalPropEditorServices*>(odrxPropServices().get()))
        services->setOpenDrawings({});
    zalPropEditorServices::unregisterServices();
    return code;
}
