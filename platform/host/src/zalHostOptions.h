#pragma once

#include <QString>

// What a host is made with. Tests leave services out to reach the callers' "missing service" paths,
// and point every file at a temporary folder.
struct zalHostOptions
{
    enum Service
    {
        Console = 0x01,
        AppProps = 0x02,
        ViewSystem = 0x04,
        ProjectManager = 0x08,
        PhysicsMaterials = 0x10,
        TerrainModeller = 0x20,
        AllServices = 0x3f,
    };

    int services = AllServices;
    // INI file of the application variables; empty: "zalhost.ini" in the user's configuration folder.
    QString variablesFile;
    // Where drawings without a file keep their project folders; empty: "zalhost" in the system's
    // temporary folder.
    QString temporaryRoot;
    // Root of the physical material library; empty: "MaterialLibrary" next to the executable.
    QString materialLibraryRoot;
    // With a user interface: dialogs are shown. Without, prompts and file dialogs take prepared answers.
    bool interactive = false;
};
