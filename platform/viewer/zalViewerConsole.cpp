#include "zalViewerConsole.h"

#include "zalViewerSunSky.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QtDebug>

namespace {

QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"')) text = text.mid(1, text.size() - 2);
    return text;
}

// Splits "a=1,b=(X=1,Y=2),c = 3" at the commas outside parentheses.
QStringList splitTopLevel(const QString& text)
{
    QStringList parts;
    int depth = 0;
    QString current;
    for (QChar c : text) {
        if (c == '(')
            ++depth;
        else if (c == ')' && depth > 0)
            --depth;
        if (c == ',' && depth == 0) {
            parts << current;
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty()) parts << current;
    return parts;
}

} // namespace

zalViewerConsole::Action zalViewerConsole::execute(const QString& rawLine)
{
    Action action;
    const QString line = rawLine.trimmed();
    if (line.isEmpty()) return action;
    m_settings.consoleLog << line;

    const int blank = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
    const QString command = blank < 0 ? line : line.left(blank);
    const QString rest = blank < 0 ? QString() : line.mid(blank + 1).trimmed();
    const QString lower = command.toLower();

    if (lower == QLatin1String("set")) {
        // Set <actor> <property> <value...>; the value keeps its blanks.
        static const QRegularExpression parts(QStringLiteral("^(\\S+)\\s+(\\S+)\\s*(.*)$"));
        const QRegularExpressionMatch m = parts.match(rest);
        if (m.hasMatch()) {
            setActorProperty(m.captured(1), m.captured(2), m.captured(3));
            return action;
        }
    } else if (lower == QLatin1String("setao")) {
        const QStringList values = rest.split(';');
        bool ok = values.size() == 3;
        float rgb[3] = {0, 0, 0};
        for (int i = 0; ok && i < 3; ++i)
            rgb[i] = values[i].trimmed().toFloat(&ok);
        if (ok) {
            m_settings.aoColour = QVector3D(rgb[0], rgb[1], rgb[2]);
            m_settings.aoColourSet = true;
            return action;
        }
    } else if (lower == QLatin1String("setgametime")) {
        bool ok = false;
        const double seconds = rest.toDouble(&ok);
        if (ok) {
            m_settings.gameTime = seconds;
            return action;
        }
    } else if (lower == QLatin1String("pause")) {
        m_settings.gamePaused = !m_settings.gamePaused;
        return action;
    } else if (lower == QLatin1String("highresshot")) {
        static const QRegularExpression shot(QStringLiteral("^(\\d+)x(\\d+)(?:\\s+filename=(.*))?$"),
                                             QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression times(QStringLiteral("^(\\d+)(?:\\s+filename=(.*))?$"),
                                              QRegularExpression::CaseInsensitiveOption);
        QRegularExpressionMatch m = shot.match(rest);
        if (m.hasMatch()) {
            action.kind = Action::Screenshot;
            action.size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
            action.path = unquoted(m.captured(3));
            return action;
        }
        m = times.match(rest);
        if (m.hasMatch()) {
            action.kind = Action::Screenshot;
            action.multiplier = m.captured(1).toInt();
            action.path = unquoted(m.captured(2));
            return action;
        }
    } else if (lower == QLatin1String("callonactor")) {
        static const QRegularExpression call(QStringLiteral("^(\\S+)\\s*(.*)$"));
        const QRegularExpressionMatch m = call.match(rest);
        if (m.hasMatch()) {
            m_settings.actorCalls[m.captured(1)] = m.captured(2);
            if (m.captured(2).startsWith(QLatin1String("SetFountainParams"), Qt::CaseInsensitive))
                parseFountain(m.captured(1), m.captured(2));
            return action;
        }
    } else if (lower == QLatin1String("setfountainparams")) {
        if (parseFountain(QStringLiteral("*"), line)) return action;
    } else if (lower == QLatin1String("zal.highlight")) {
        // The names of the instances the host's selection holds; none clears the highlight.
        m_settings.highlighted = rest.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        return action;
    } else if (lower == QLatin1String("zal.dumpscene")) {
        if (!rest.isEmpty()) {
            action.kind = Action::DumpScene;
            action.path = unquoted(rest);
            return action;
        }
    } else if (lower == QLatin1String("zal.savewindow")) {
        if (!rest.isEmpty()) {
            action.kind = Action::SaveWindow;
            action.path = unquoted(rest);
            return action;
        }
    } else if (lower == QLatin1String("zal.drawingstepms")) {
        bool ok = false;
        const int ms = rest.toInt(&ok);
        if (ok && ms >= -1 && ms <= 1000) {
            m_settings.drawingStepMs = ms;
            return action;
        }
    } else if (lower == QLatin1String("zal.transactionframeholdms")) {
        bool ok = false;
        const int ms = rest.toInt(&ok);
        if (ok && ms >= 0 && ms <= 60000) {
            m_settings.transactionFrameHoldMs = ms;
            return action;
        }
    } else if (lower == QLatin1String("zal.reportmemory")) {
        action.kind = Action::ReportMemory;
        return action;
    } else if (lower == QLatin1String("zal.dropentity")) {
        if (!rest.isEmpty()) {
            action.kind = Action::DropEntity;
            action.name = unquoted(rest);
            return action;
        }
    } else if (lower == QLatin1String("quit") || lower == QLatin1String("exit")) {
        action.kind = Action::Quit;
        return action;
    } else if (lower == QLatin1String("showoutliner") || lower == QLatin1String("postprocesssettings")) {
        m_settings.uiRequests << command;
        return action;
    } else if (lower == QLatin1String("refresh_materials")) {
        ++m_settings.materialRefreshes;
        return action;
    } else {
        // Console variables and switches: "r.Shadow.FadeResolution 1.2", "showflag.pathtracing 1",
        // "spawneruseinstances 1", "DisableAllScreenMessages".
        static const QRegularExpression dotted(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*(\\.[A-Za-z0-9_]+)+$"));
        const bool known = lower == QLatin1String("spawneruseinstances") ||
                           lower == QLatin1String("disableallscreenmessages");
        if (known || dotted.match(command).hasMatch()) {
            m_settings.consoleVariables[command] = rest;
            if (lower == QLatin1String("showflag.pathtracing")) m_settings.pathTracing = rest.toInt();
            return action;
        }
    }
    qWarning().noquote() << "zalViewer: unknown console command:" << line;
    m_settings.unknownCommands << line;
    return action;
}

void zalViewerConsole::setActorProperty(const QString& actor, const QString& property, const QString& value)
{
    m_settings.actors[actor][property] = value;
    if (actor == QLatin1String("zalSunSky_C")) zalViewerApplySunSkyProperty(m_settings, property, value);
    if (actor == QLatin1String("PostProcessVolume") && property == QLatin1String("Settings")) {
        QString body = value.trimmed();
        if (body.startsWith('(') && body.endsWith(')')) body = body.mid(1, body.size() - 2);
        for (const QString& field : splitTopLevel(body)) {
            const int eq = field.indexOf('=');
            if (eq > 0) m_settings.postProcess[field.left(eq).trimmed()] = field.mid(eq + 1).trimmed();
        }
    }
}

bool zalViewerConsole::parseFountain(const QString& actor, const QString& arguments)
{
    static const QRegularExpression params(
        QStringLiteral("^SetFountainParams\\s+(True|False)\\s+\\(R=([^,]+),G=([^,]+),B=([^,]+),A=([^)]+)\\)"
                       "\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = params.match(arguments.trimmed());
    if (!m.hasMatch()) {
        qWarning().noquote() << "zalViewer: malformed SetFountainParams for" << actor << ":" << arguments;
        return false;
    }
    m_settings.fountains[actor] =
        QJsonObject{{"active", m.captured(1).compare(QLatin1String("True"), Qt::CaseInsensitive) == 0},
                    {"colour", QJsonArray{m.captured(2).toDouble(), m.captured(3).toDouble(),
                                          m.captured(4).toDouble(), m.captured(5).toDouble()}},
                    {"lifetime", m.captured(6).toDouble()},
                    {"spawnRate", m.captured(7).toDouble()},
                    {"spreadWidth", m.captured(8).toDouble()},
                    {"spreadStartWidth", m.captured(9).toDouble()},
                    {"jetPower", m.captured(10).toDouble()}};
    return true;
}
