#include "zalHelpCommand.h"

#include "zalHostConsole.h"

#include <QHash>

QString zalHelpCommand::describe(const QString& name)
{
    // Modules' commands carry no description of their own; the host keeps one for those it ships with.
    static const QHash<QString, QString> lines = {
        {QStringLiteral("help"), QStringLiteral("lists the commands (also ?)")},
        {QStringLiteral("open"), QStringLiteral("opens a drawing or model file: open FILE")},
        {QStringLiteral("save"), QStringLiteral("saves the drawing as DXF: save [FILE]")},
        {QStringLiteral("saveas"), QStringLiteral("saves the drawing under a new name: saveas FILE")},
        {QStringLiteral("undo"), QStringLiteral("takes the last edit back")},
        {QStringLiteral("redo"), QStringLiteral("does the last undone edit again")},
        {QStringLiteral("erase"), QStringLiteral("erases an entity (click it, or give a handle or #n)")},
        {QStringLiteral("move"), QStringLiteral("moves an entity by a displacement x,y,z (drawing units)")},
        {QStringLiteral("layer"),
         QStringLiteral("turns a layer on, off, frozen or thawed (layer ? lists them)")},
        {QStringLiteral("setmaterial"),
         QStringLiteral("gives an entity a material of the drawing (? at the name lists them)")},
        {QStringLiteral("renderfarm"),
         QStringLiteral("renders the scene's animation frames on the Slurm farm")},
        {QStringLiteral("unrealcommand"), QStringLiteral("sends a console command to the viewer")},
        {QStringLiteral("unrealoutliner"), QStringLiteral("asks the viewer to show its outliner")},
        {QStringLiteral("unrealpostprocess"),
         QStringLiteral("asks the viewer for its post-process settings")},
        {QStringLiteral("unrealcameramode"), QStringLiteral("sets the viewer's navigation type (0, 1 or 2)")},
        {QStringLiteral("fountain_create"),
         QStringLiteral("places a water fountain (click the position or type x,y,z)")},
    };
    return lines.value(name.toLower());
}

void zalHelpCommand::execute(OdEdCommandContext* context)
{
    const QStringList names = zalHostConsole::commandNames();
    int width = 0;
    for (const QString& name : names)
        width = qMax(width, name.size());
    tell(context,
         QStringLiteral("%1 commands (Tab completes a name; text after a name answers its first prompt):")
             .arg(names.size()));
    for (const QString& name : names) {
        const QString line = describe(name);
        tell(context, QStringLiteral("  %1  %2")
                          .arg(name.leftJustified(width), line.isEmpty() ? QStringLiteral("-") : line));
    }
}
