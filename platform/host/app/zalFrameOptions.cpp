#include "zalFrameOptions.h"

#include <QDir>
#include <QRegularExpression>

QString zalFrameOptions::frameName(int frame)
{
    return QStringLiteral("frame_%1.png").arg(frame, 4, 10, QLatin1Char('0'));
}

QString zalFrameOptions::framePath(int frame) const
{
    return QDir(outFolder).filePath(frameName(frame));
}

QString zalFrameOptions::usage()
{
    return QStringLiteral(
        "       zalhost --open FILE --render-frames FIRST-LAST [--scene NAME] [--size WxH] --out FOLDER\n"
        "               [--fps N] [--farm slurm [--chunk N]]\n"
        "--render-frames renders the animation frames FIRST to LAST of the scene (the current one, or the\n"
        "viewport or scene id NAME) in production mode, game time frame/fps, into FOLDER/frame_0001.png...\n"
        "and exits non-zero naming the first frame that failed. With --farm slurm the frames go to Slurm as\n"
        "an array job of chunks of N frames; the drawing, its project folder and FOLDER must be on a path\n"
        "every node sees.\n");
}

int zalFrameOptions::take(const QStringList& arguments, int& i, zalFrameOptions& options, QString& error)
{
    const QString a = arguments[i];
    static const QStringList names = {"--render-frames", "--scene", "--out", "--fps", "--farm", "--chunk"};
    if (!names.contains(a)) return 0;
    if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--"))) {
        error = QStringLiteral("%1 needs a value").arg(a);
        return -1;
    }
    const QString v = arguments[++i];
    bool ok = true;
    if (a == QLatin1String("--render-frames")) {
        static const QRegularExpression range(QStringLiteral("^(\\d{1,7})(?:-(\\d{1,7}))?$"));
        const QRegularExpressionMatch m = range.match(v);
        ok = m.hasMatch();
        if (ok) {
            options.first = m.captured(1).toInt();
            options.last = m.captured(2).isEmpty() ? options.first : m.captured(2).toInt();
            ok = options.last >= options.first;
        }
        if (!ok)
            error = QStringLiteral("--render-frames wants FIRST-LAST with FIRST <= LAST, not \"%1\"").arg(v);
    } else if (a == QLatin1String("--scene")) {
        options.scene = v;
    } else if (a == QLatin1String("--out")) {
        options.outFolder = QDir(v).absolutePath();
    } else if (a == QLatin1String("--fps")) {
        options.fps = v.toDouble(&ok);
        ok = ok && options.fps > 0 && options.fps <= 1000;
        if (!ok) error = QStringLiteral("--fps wants frames per second, not \"%1\"").arg(v);
    } else if (a == QLatin1String("--farm")) {
        options.farm = v;
        ok = v == QLatin1String("slurm");
        if (!ok) error = QStringLiteral("--farm knows only slurm, not \"%1\"").arg(v);
    } else if (a == QLatin1String("--chunk")) {
        options.chunk = v.toInt(&ok);
        ok = ok && options.chunk > 0;
        if (!ok) error = QStringLiteral("--chunk wants a number of frames, not \"%1\"").arg(v);
    }
    return ok ? 1 : -1;
}

bool zalFrameOptions::check(QString& error) const
{
    if (!isRequested()) {
        for (const auto& [set, name] : {std::pair{!scene.isEmpty(), "--scene"},
                                        {!outFolder.isEmpty(), "--out"},
                                        {isFarm(), "--farm"},
                                        {chunk > 0, "--chunk"}}) {
            if (set) {
                error = QStringLiteral("%1 goes with --render-frames").arg(QLatin1String(name));
                return false;
            }
        }
        return true;
    }
    if (outFolder.isEmpty()) {
        error = QStringLiteral("--render-frames needs --out FOLDER");
        return false;
    }
    if (chunk > 0 && !isFarm()) {
        error = QStringLiteral("--chunk goes with --farm");
        return false;
    }
    return true;
}
