// Reads a scene file in a process of its own, as a drawing opened again does, and prints the viewer
// commands a production run would send from it, one a line. Within the process that wrote the file,
// Qt's settings cache would hand back the values as they were written, not as the file holds them.
#include "settings/zalSceneSettingsApplier.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2) return 2;
    QSettings file(app.arguments().at(1), QSettings::IniFormat);
    QMap<QString, QVariant> values;
    for (const QString& key : file.allKeys())
        values.insert(key, file.value(key));
    const auto read = [&values](const QString& key, const QVariant& defaultValue) {
        return values.value(key, defaultValue);
    };
    zalSceneSettingsApplier applier(read, read);
    applier.setProduction(true, false);
    zalSceneSettingsApplier::Remembered remembered;
    QTextStream out(stdout);
    for (const zalSceneSettingsApplier::Step& step : applier.run(remembered).steps)
        if (step.kind == zalSceneSettingsApplier::Step::ConsoleCommand) out << step.command << '\n';
    return 0;
}
