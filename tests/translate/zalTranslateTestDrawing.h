#pragma once

// Builds drawings for the translation tests: layers, materials, blocks, references, meshes, lights.

#include "gs/DbFace.h"
#include "gs/DbLine.h"
#include "gs/DbPolyFaceMesh.h"
#include "gs/DbSubDMesh.h"

#include "odkit.h"

#include <cmath>
#include <vector>

// The drawing's matrix in the viewer's frame, worked out here rather than by the code under test:
// F * M * F^-1 with F = diag(-100, 100, 100, 1), so entry (i, j) is f_i * m_ij / f_j, row by row, and
// what is within 1e-10 of 0 is written as 0.
inline std::vector<double> expectedViewerMatrix(const OdGeMatrix3d& m)
{
    const double f[4] = {-100, 100, 100, 1};
    std::vector<double> out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const double v = f[i] * m[i][j] / f[j];
            out.push_back(std::fabs(v) <= 1e-10 ? 0.0 : v);
        }
    return out;
}

class zalTranslateTestDrawing
{
public:
    explicit zalTranslateTestDrawing(OdDbDatabase* database) : db(database) {}

    OdDbObjectId append(OdDbEntity* entity, const OdDbObjectId& blockId = OdDbObjectId())
    {
        OdDbBlockTableRecordPtr block =
            (blockId.isNull() ? db->getModelSpaceId() : blockId).safeOpenObject(OdDb::kForWrite);
        entity->setDatabaseDefaults(db);
        return block->appendOdDbEntity(entity);
    }

    OdDbObjectId addLayer(const wchar_t* name, bool off = false, bool hidden = false)
    {
        OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
        OdDbLayerTableRecordPtr layer = OdDbLayerTableRecord::createObject();
        layer->setName(name);
        layer->setIsOff(off);
        layer->setIsHidden(hidden);
        return layers->add(layer);
    }

    OdDbObjectId addMaterial(const wchar_t* name, OdUInt8 r = 200, OdUInt8 g = 100, OdUInt8 b = 50)
    {
        OdDbDictionaryPtr materials = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
        OdDbMaterialPtr material = OdDbMaterial::createObject();
        material->setName(name);
        material->setDiffuse(OdGiMaterialColor(OdCmEntityColor(r, g, b)), OdGiMaterialMap());
        return materials->setAt(name, material);
    }

    OdDbObjectId addBlock(const wchar_t* name)
    {
        OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject(OdDb::kForWrite);
        OdDbBlockTableRecordPtr block = OdDbBlockTableRecord::createObject();
        block->setName(name);
        return blocks->add(block);
    }

    // A 3D face through three or four corners.
    OdDbObjectId addFace(const std::vector<OdGePoint3d>& corners,
                         const OdDbObjectId& blockId = OdDbObjectId(),
                         const OdDbObjectId& layer = OdDbObjectId())
    {
        OdDbFacePtr face = OdDbFace::createObject();
        for (OdUInt16 i = 0; i < 4; ++i)
            face->setVertexAt(i, corners[std::min<std::size_t>(i, corners.size() - 1)]);
        const OdDbObjectId id = append(face, blockId);
        if (!layer.isNull()) face->setLayer(layer);
        return id;
    }

    // A shell of the given vertices and face list, with optional per-vertex normals and face materials.
    OdDbObjectId addShell(const std::vector<OdGePoint3d>& vertices, const std::vector<OdInt32>& faces,
                          const std::vector<OdGeVector3d>& normals = {},
                          const std::vector<OdDbObjectId>& faceMaterials = {},
                          const OdDbObjectId& material = OdDbObjectId())
    {
        OdDbSubDMeshPtr mesh = OdDbSubDMesh::createObject();
        OdArray<OdGePoint3d> v;
        for (const OdGePoint3d& p : vertices)
            v.append(p);
        OdArray<OdInt32> f;
        for (OdInt32 i : faces)
            f.append(i);
        mesh->setSubDMesh(v, f);
        if (!normals.empty()) {
            OdArray<OdGeVector3d> n;
            for (const OdGeVector3d& x : normals)
                n.append(x);
            mesh->setVertexNormalArray(n);
        }
        if (!faceMaterials.empty()) {
            OdArray<OdDbObjectId> m;
            for (const OdDbObjectId& x : faceMaterials)
                m.append(x);
            mesh->setFaceMaterials(m);
        }
        const OdDbObjectId id = append(mesh);
        if (!material.isNull()) mesh->setMaterial(material);
        return id;
    }

    OdDbObjectId addReference(const OdDbObjectId& blockId, const OdGePoint3d& position, double rotation = 0.0,
                              double scale = 1.0)
    {
        OdDbBlockReferencePtr reference = OdDbBlockReference::createObject();
        reference->setBlockTableRecord(blockId);
        reference->setPosition(position);
        reference->setRotation(rotation);
        reference->setScaleFactors(OdGeScale3d(scale, scale, scale));
        return append(reference);
    }

    OdDbObjectId addLight(OdGiDrawable::DrawableType type, const OdGePoint3d& position,
                          const OdGePoint3d& target, double intensity)
    {
        OdDbLightPtr light = OdDbLight::createObject();
        light->setLightType(type);
        light->setPosition(position);
        light->setTargetLocation(target);
        light->setIntensity(intensity);
        return append(light);
    }

    OdDbDatabase* db;
};
