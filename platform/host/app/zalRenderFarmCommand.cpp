#include "zalRenderFarmCommand.h"

#include "zalDocumentManager.h"
#include "zalFarmDock.h"
#include "zalStrings.h"

#include "IzalUnrealRenderModule.h"

#include "Ed/EdCommandContext.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>

namespace {

QString s_executable;

QString ask(OdEdCommandContext* context, const QString& prompt, const QString& proposed)
{
    const QString answer =
        zalStrings::toQString(
            context->userIO()->getString(zalStrings::toOdString(prompt), 0, zalStrings::toOdString(proposed)))
            .trimmed();
    return answer.isEmpty() ? proposed : answer;
}

QMainWindow* hostWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<QMainWindow*>(widget)) return window;
    return nullptr;
}

} // namespace

QString zalRenderFarmCommand::executable()
{
    if (!s_executable.isEmpty()) return s_executable;
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zalhost"));
}

void zalRenderFarmCommand::setExecutable(const QString& path)
{
    s_executable = path;
}

void zalRenderFarmCommand::execute(OdEdCommandContext* context)
{
    OdDbDatabase* db = database(context);
    zalDocumentManager* documents = zalDocumentManager::instance();
    const QString drawing = documents ? documents->pathOf(db) : QString();
    if (drawing.isEmpty() || !QFileInfo(drawing).isFile())
        fail(QStringLiteral("the farm renders the drawing's file: save the drawing first"));
    if (!QFileInfo(executable()).isExecutable())
        fail(executable() + QStringLiteral(": no zalhost for the tasks"));

    // The scene's production size, when the module knows it, is the first proposal.
    QSize size(1280, 720);
    if (IzalUnrealRenderModule* module = documents->renderModule()) {
        size = QSize(module->getSceneSettings(QStringLiteral("ImageProduction/ImageWidth"), 1280).toInt(),
                     module->getSceneSettings(QStringLiteral("ImageProduction/ImageHeight"), 720).toInt());
        if (size.width() < 16 || size.height() < 16) size = QSize(1280, 720);
    }
    const QFileInfo file(drawing);
    const QString range =
        ask(context, QStringLiteral("Frames to render (FIRST-LAST)"), QStringLiteral("1-100"));
    const QString sizeText = ask(context, QStringLiteral("Frame size (WxH)"),
                                 QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    const QString out = ask(context, QStringLiteral("Output folder (seen by every node)"),
                            file.absoluteDir().filePath(file.completeBaseName() + QStringLiteral("_frames")));
    const QString chunk =
        ask(context, QStringLiteral("Frames per task"), QString::number(zalFarmJob::kDefaultChunk));

    zalFrameOptions frames;
    frames.farm = QStringLiteral("slurm");
    const QStringList arguments = {QStringLiteral("renderfarm"),
                                   QStringLiteral("--render-frames"),
                                   range,
                                   QStringLiteral("--out"),
                                   out,
                                   QStringLiteral("--chunk"),
                                   chunk};
    QString error;
    for (int i = 1; i < arguments.size(); ++i)
        if (zalFrameOptions::take(arguments, i, frames, error) < 0) fail(error);
    const QStringList wh = sizeText.toLower().split(QLatin1Char('x'));
    bool okW = false, okH = false;
    if (wh.size() == 2) size = QSize(wh[0].toInt(&okW), wh[1].toInt(&okH));
    if (!okW || !okH || size.width() < 16 || size.height() < 16 || size.width() > 16384 ||
        size.height() > 16384)
        fail(QStringLiteral("the frame size wants WIDTHxHEIGHT between 16 and 16384, not \"%1\"")
                 .arg(sizeText));

    zalFarmJob::Request request;
    request.zalhost = executable();
    request.drawing = file.absoluteFilePath();
    request.size = size;
    request.frames = frames;

    QMainWindow* window = hostWindow();
    auto* dock = new zalFarmDock(request, window);
    dock->setAttribute(Qt::WA_DeleteOnClose);
    if (window)
        window->addDockWidget(Qt::RightDockWidgetArea, dock);
    else
        dock->setFloating(true);
    dock->show();
    tell(context,
         QStringLiteral("renderfarm: frames %1-%2 of %3 go to Slurm in tasks of %4; the Render farm dock "
                        "follows them")
             .arg(frames.first)
             .arg(frames.last)
             .arg(file.fileName())
             .arg(frames.chunk));
    dock->start();
}
