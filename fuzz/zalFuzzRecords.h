// Every record class the filer target reads, with how to make one, read it and write it: the
// drawing database's own, the sibling library's entities and the module's (fountain, unit
// transform field).
#pragma once

#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "DbDictionary.h"
#include "DbDwgMemoryFiler.h"
#include "DbField.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbLine.h"
#include "DbMaterial.h"
#include "DbViewportTableRecord.h"
#include "fountain/zalDbWaterFountain.h"
#include "odkit.h"
#include "units/zalFieldEntityUnitTransform.h"
#include "zalDbAssetsSpawner.h"
#include "zalDbStarImagePolygon.h"
#include "zalDbXBlock.h"

#include <functional>
#include <vector>

namespace zalFuzzRecords {

struct Record
{
    const char* name;
    // Reads the filer into a fresh object; what it accepted is written out again.
    std::function<void(OdDbDwgFiler*)> read;
    // Writes a typical object of the class (seeds).
    std::function<void(OdDbDwgFiler*)> write;
};

inline void initialize()
{
    odInitialize();
    if (!zalDbWaterFountain::desc()) zalDbWaterFountain::rxInit();
    if (!zalDbXBlock::desc()) zalDbXBlock::rxInit();
    if (!zalDbAssetsSpawner::desc()) zalDbAssetsSpawner::rxInit();
    if (!zalDbStarImagePolygon::desc()) zalDbStarImagePolygon::rxInit();
}

template <class T> Record object(const char* name, std::function<void(T*)> fill = {})
{
    return Record{name,
                  [](OdDbDwgFiler* filer) {
                      OdSmartPtr<T> o = T::createObject();
                      if (o->dwgInFields(filer) != eOk) return;
                      OdDbDwgMemoryFilerPtr out = OdDbDwgMemoryFiler::createObject();
                      out->setDatabase(filer->database());
                      o->dwgOutFields(out.get());
                  },
                  [fill](OdDbDwgFiler* filer) {
                      OdSmartPtr<T> o = T::createObject();
                      if (fill) fill(o.get());
                      o->dwgOutFields(filer);
                  }};
}

inline const std::vector<Record>& all()
{
    static const std::vector<Record> records = {
        object<OdDbLine>("line", [](OdDbLine* l) { l->setEndPoint(OdGePoint3d(1, 2, 3)); }),
        object<OdDbBlockReference>("blockReference",
                                   [](OdDbBlockReference* r) { r->setPosition(OdGePoint3d(4, 5, 6)); }),
        object<OdDbLight>("light",
                          [](OdDbLight* l) {
                              l->setName(L"Lamp");
                              l->setLightType(OdGiDrawable::kSpotLight);
                          }),
        object<OdDbMaterial>("material", [](OdDbMaterial* m) { m->setName(L"Brick"); }),
        object<OdDbLayerTableRecord>("layer", [](OdDbLayerTableRecord* l) { l->setName(L"Walls"); }),
        object<OdDbBlockTableRecord>("block", [](OdDbBlockTableRecord* b) { b->setName(L"Door"); }),
        object<OdDbViewportTableRecord>("viewport"),
        object<OdDbDictionary>("dictionary"),
        object<OdDbBlockTable>("blockTable"),
        object<OdDbLayerTable>("layerTable"),
        object<OdDbField>("field"),
        object<zalDbWaterFountain>("fountain"),
        object<zalDbXBlock>("xblock"),
        object<zalDbAssetsSpawner>("spawner"),
        object<zalDbStarImagePolygon>("starImagePolygon"),
        Record{"unitTransform",
               [](OdDbDwgFiler* filer) {
                   zalFieldEntityUnitTransform t;
                   if (!t.dwgInFields(filer)) return;
                   OdDbDwgMemoryFilerPtr out = OdDbDwgMemoryFiler::createObject();
                   t.dwgOutFields(out.get());
               },
               [](OdDbDwgFiler* filer) {
                   zalFieldEntityUnitTransform t;
                   t.dwgOutFields(filer);
               }},
    };
    return records;
}

} // namespace zalFuzzRecords
