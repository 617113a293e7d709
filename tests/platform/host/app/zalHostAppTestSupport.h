#pragma once

#include "tests/common/zalTestHost.h"

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbFace.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLine.h"

// What the host application tests share: the test host (tests/common), and a small drawing made in code (two
// faces on two layers, a block with a face inserted once, a line).
namespace zalHostAppTest {

// The host of every host application test.
using Host = zalTestHost;

struct Drawing
{
    OdDbDatabasePtr db;
    OdDbObjectId layerA, layerB, faceA, faceB, reference, line, block;
};

inline OdDbObjectId addLayer(OdDbDatabase* db, const char* name, int color)
{
    OdDbLayerTablePtr table = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
    OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
    layer->setName(OdString(name));
    OdCmColor c;
    c.setColorIndex(OdUInt16(color));
    layer->setColor(c);
    return table->add(layer.get());
}

inline OdDbFacePtr square(double x, double y, double z, double size)
{
    OdDbFacePtr face = OdDbFace::createObject();
    face->setVertexAt(0, OdGePoint3d(x, y, z));
    face->setVertexAt(1, OdGePoint3d(x + size, y, z));
    face->setVertexAt(2, OdGePoint3d(x + size, y + size, z));
    face->setVertexAt(3, OdGePoint3d(x, y + size, z));
    return face;
}

inline Drawing makeDrawing()
{
    Drawing d;
    d.db = OdDbDatabase::createObject();
    OdDbDatabase* db = d.db.get();
    db->setINSUNITS(OdDb::kUnitsMeters);
    d.layerA = addLayer(db, "A", 1);
    d.layerB = addLayer(db, "B", 3);

    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
    OdDbBlockTableRecordPtr box = OdDbBlockTableRecord::createObject();
    box->setName(OdString("BOX"));
    d.block = blocks->add(box.get());
    OdDbFacePtr inner = square(0, 0, 0, 1);
    inner->setDatabaseDefaults(db);
    box->appendOdDbEntity(inner.get());

    OdDbBlockTableRecordPtr ms = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
    OdDbFacePtr a = square(0, 0, 0, 2);
    a->setDatabaseDefaults(db);
    a->setLayer(d.layerA);
    d.faceA = ms->appendOdDbEntity(a.get());
    OdDbFacePtr b = square(3, 0, 0, 2);
    b->setDatabaseDefaults(db);
    b->setLayer(d.layerB);
    d.faceB = ms->appendOdDbEntity(b.get());
    OdDbBlockReferencePtr ref = OdDbBlockReference::createObject();
    ref->setDatabaseDefaults(db);
    ref->setBlockTableRecord(d.block);
    ref->setPosition(OdGePoint3d(0, 4, 0));
    ref->setScaleFactors(OdGeScale3d(2, 2, 2));
    d.reference = ms->appendOdDbEntity(ref.get());
    OdDbLinePtr line = OdDbLine::createObject();
    line->setDatabaseDefaults(db);
    line->setStartPoint(OdGePoint3d(0, 0, 0));
    line->setEndPoint(OdGePoint3d(5, 6, 1));
    d.line = ms->appendOdDbEntity(line.get());
    return d;
}

inline QString hex(const OdDbObjectId& id)
{
    return QString::fromStdString(id.getHandle().ascii().toUtf8());
}

} // namespace zalHostAppTest
