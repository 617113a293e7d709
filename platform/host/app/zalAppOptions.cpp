#include "zalAppOptions.h"

#include <QRegularExpression>

QString zalAppOptions::usage()
{
    return QStringLiteral(
        "usage: zalhost [--open FILE] [--script FILE] [--export-image OUT.png [--size WxH]]\n"
        "               [--dump-scene OUT.json] [--timeout SECONDS] [--headless]\n"
        "Without --script, --export-image, --dump-scene or --headless the host opens its window.\n"
        "Headless, it opens FILE, opens the render view, waits for the first synchronisation, runs the\n"
        "script's lines (commands and their answers), writes the viewer's scene dump and the image, and\n"
        "exits 0 only when they exist.\n");
}

bool zalAppOptions::parse(const QStringList& arguments, zalAppOptions& options, QString& error)
{
    const auto value = [&](int& i, const QString& name, QString& out) {
        if (i + 1 >= arguments.size() || arguments[i + 1].startsWith(QLatin1String("--"))) {
            error = QStringLiteral("%1 needs a value").arg(name);
            return false;
        }
        out = arguments[++i];
        return true;
    };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString a = arguments[i];
        QString v;
        if (a == QLatin1String("--open")) {
            if (!value(i, a, options.openFile)) return false;
        } else if (a == QLatin1String("--script")) {
            if (!value(i, a, options.scriptFile)) return false;
            options.headless = true;
        } else if (a == QLatin1String("--export-image")) {
            if (!value(i, a, options.exportImage)) return false;
            options.headless = true;
        } else if (a == QLatin1String("--dump-scene")) {
            if (!value(i, a, options.dumpScene)) return false;
            options.headless = true;
        } else if (a == QLatin1String("--size")) {
            if (!value(i, a, v)) return false;
            static const QRegularExpression pattern(QStringLiteral("^(\\d+)[xX](\\d+)$"));
            const QRegularExpressionMatch m = pattern.match(v);
            const int w = m.hasMatch() ? m.captured(1).toInt() : 0;
            const int h = m.hasMatch() ? m.captured(2).toInt() : 0;
            if (w < 16 || h < 16 || w > 16384 || h > 16384) {
                error = QStringLiteral("--size wants WIDTHxHEIGHT between 16 and 16384, not \"%1\"").arg(v);
                return false;
            }
            options.size = QSize(w, h);
        } else if (a == QLatin1String("--timeout")) {
            if (!value(i, a, v)) return false;
            bool ok = false;
            options.timeoutSeconds = v.toInt(&ok);
            if (!ok || options.timeoutSeconds <= 0) {
                error = QStringLiteral("--timeout wants a number of seconds, not \"%1\"").arg(v);
                return false;
            }
        } else if (a == QLatin1String("--headless")) {
            options.headless = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            options.help = true;
        } else if (const int taken = zalFrameOptions::take(arguments, i, options.frames, error)) {
            if (taken < 0) return false;
            if (a == QLatin1String("--render-frames")) options.headless = true;
        } else {
            error = QStringLiteral("unknown argument \"%1\"").arg(a);
            return false;
        }
    }
    if (!options.frames.check(error)) return false;
    if (options.headless && options.openFile.isEmpty() && !options.help) {
        error = QStringLiteral("headless runs need --open FILE");
        return false;
    }
    return true;
}
