#pragma once

#include <QString>

class OdDbDatabase;

// Writes a database as an R12 ASCII DXF file that zalDxfImporter (and any DXF reader) opens again:
// layers with their state and colour, block definitions, INSERTs, 3D faces, lines, arcs, circles,
// text, polylines, polygon meshes, and subdivision meshes as polyface meshes. R12 has no lights,
// materials or true colours: lights are left out, colours become their nearest ACI index.
class zalDxfWriter
{
public:
    // False with error set (one line) when the file cannot be written.
    static bool write(OdDbDatabase* db, const QString& path, QString* error = nullptr);
};
