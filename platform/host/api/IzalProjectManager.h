#pragma once

#include "zalHostApiExport.h"

#include <QObject>
#include <QString>

class OdDbDatabase;
class OdString;

#define IzalProjectManager_id "zal.IProjMan"

// Folders that belong to a drawing's project, kept on disk next to the drawing.
class ZAL_HOSTAPI IzalProjectManager
{
public:
    enum FolderKind
    {
        kProjectRoot = 0,
        kRemoteRender = 4, // working folder of the viewer channel
        kScenes = 11,      // scene settings files
    };

    virtual ~IzalProjectManager() = default;

    // Absolute path of the folder of that kind for db, created when create is true. Empty when db is
    // null, the kind unknown or the folder could not be made.
    virtual QString projectFolder(int kind, OdDbDatabase* database, bool create) = 0;
    // Absolute path of a file given relative to the folder of that kind; the folder is created.
    // Empty when the relative path is empty or leaves the folder.
    virtual QString absolutePath(const OdString& relativePath, int kind, OdDbDatabase* database) = 0;
};

Q_DECLARE_INTERFACE(IzalProjectManager, IzalProjectManager_id)
