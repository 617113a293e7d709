#pragma once

#include "zalViewerSettings.h"

#include <QSize>
#include <QString>

// The viewer's console: one line at a time, as the host writes it. What a command sets is kept in
// the settings; what needs the application (a screenshot, a dump, dropping an entity, quitting)
// comes back as an action. Unknown commands are logged and remembered, never fatal.
class zalViewerConsole
{
public:
    struct Action
    {
        enum Kind
        {
            None,
            Screenshot,   // size (or multiplier when size is empty), path (may be empty)
            DumpScene,    // path
            DropEntity,   // name
            SaveWindow,   // path: the frame the window shows, as PNG
            ReportMemory, // one line on standard output: heap, scene and renderer counts
            Quit,
        };
        Kind kind = None;
        QSize size;
        int multiplier = 0;
        QString path;
        QString name;
    };

    explicit zalViewerConsole(zalViewerSettings& settings) : m_settings(settings) {}

    Action execute(const QString& line);

private:
    void setActorProperty(const QString& actor, const QString& property, const QString& value);
    bool parseFountain(const QString& actor, const QString& arguments);

    zalViewerSettings& m_settings;
};
