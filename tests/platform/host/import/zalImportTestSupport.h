#pragma once

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbEntity.h"
#include "DbObjectIterator.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <string>

// Helpers the import tests share: files written into temporary folders, an independent DXF writer
// (python3-ezdxf) run as a process, and walks over what the import made.
namespace zalImportTest {

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs a python3 script with ezdxf; false (with the output in log) when it fails.
inline bool runPython(const QString& script, const QStringList& args, QString* log = nullptr)
{
    QProcess p;
    const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
                               ? QStringLiteral("/usr/bin/python3")
                               : QStringLiteral("python3");
    p.start(python, QStringList{script} + args);
    if (!p.waitForFinished(120000)) return false;
    if (log) *log = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Entities of a block (model space by default), in order.
inline void forEachEntity(const OdDbObjectId& blockId, const std::function<void(OdDbEntity*)>& visit)
{
    OdDbBlockTableRecordPtr block = blockId.safeOpenObject();
    for (OdDbObjectIteratorPtr it = block->newIterator(); !it->done(); it->step()) {
        OdDbEntityPtr e = it->entity();
        if (!e.isNull()) visit(e.get());
    }
}

// Number of entities per class name ("AcDbFace", ...).
inline std::map<std::string, int> countByClass(const OdDbObjectId& blockId)
{
    std::map<std::string, int> counts;
    forEachEntity(blockId, [&](OdDbEntity* e) {
        const OdString name = e->isA()->name();
        ++counts[std::string(QString::fromWCharArray(name.c_str()).toUtf8().constData())];
    });
    return counts;
}

// A DXF scene written by python3-ezdxf (arguments: the DXF file, a JSON file of the writer's own
// world points of the INSERT's block): layers on, off, frozen and locked, a rotated and extruded
// INSERT, a 3D face, a quad polyface, a line, a MESH with a MATERIAL, a polygon mesh, text, a LIGHT.
inline const char* kSceneWriter = R"PY(
import sys, json, math, ezdxf
out, expected = sys.argv[1], sys.argv[2]
doc = ezdxf.new('R2010')
doc.header['$INSUNITS'] = 6
doc.layers.add('Walls', color=1)
doc.layers.add('Hidden', color=3).off()
doc.layers.add('Frozen', color=4).freeze()
doc.layers.add('Locked', color=5).lock()
glass = doc.materials.new('Glass')
glass.dxf.diffuse_color_method = 1
glass.dxf.diffuse_color_value = ((0xC2 << 24) | 0x3366FF) - (1 << 32)
glass.dxf.opacity = 0.3
blk = doc.blocks.new('COL', base_point=(1, 0, 0))
blk.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)])
msp = doc.modelspace()
ins = msp.add_blockref('COL', (10, 20, 30), dxfattribs={'xscale': 2, 'yscale': 3, 'zscale': 4,
    'rotation': 30, 'extrusion': (0, 1, 1), 'layer': 'Walls'})
msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0)], dxfattribs={'color': 5, 'layer': 'Locked'})
pf = msp.add_polyface(dxfattribs={'layer': 'Frozen'})
pf.append_face([(0, 0, 0), (2, 0, 0), (2, 2, 0), (0, 2, 0)])
pf.append_face([(0, 0, 1), (2, 0, 1), (2, 2, 1)])
msp.add_line((0, 0, 0), (5, 5, 5), dxfattribs={'layer': 'Hidden', 'true_color': 0x123456})
mesh = msp.add_mesh(dxfattribs={'material_handle': glass.dxf.handle})
with mesh.edit_data() as d:
    d.vertices = [(0, 0, 0), (3, 0, 0), (3, 3, 0), (0, 3, 0), (1.5, 1.5, 2)]
    d.faces = [(0, 1, 2, 3), (0, 1, 4)]
pm = msp.add_polymesh((3, 4), dxfattribs={'layer': 'Hidden'})
for i in range(3):
    for j in range(4):
        pm.set_mesh_vertex((i, j), (i, j, i * j))
msp.add_text('Zo\u00eb', dxfattribs={'insert': (1, 2, 0), 'height': 0.5})
light = msp.new_entity('LIGHT', dxfattribs={'name': 'Lamp', 'type': 3, 'intensity': 2.5,
    'location': (1, 2, 3), 'target': (1, 2, 0), 'hotspot_angle': 40, 'falloff_angle': 60})
doc.saveas(out)
faces = [[list(v) for v in e.wcs_vertices()] for e in ins.virtual_entities()]
json.dump({'insertFaces': faces, 'matrix': list(ins.matrix44())}, open(expected, 'w'))
)PY";

// A glTF file: one mesh of two primitives (materials "Red" and "Glass") used by two nodes, a spot
// light and a camera.
inline QByteArray floats(std::initializer_list<float> values)
{
    QByteArray bytes;
    for (float v : values)
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    return bytes;
}

inline QByteArray gltf()
{
    const QByteArray buffer = floats({0, 0, 0, 1, 0, 0, 0, 1, 0}) + floats({0, 0, 1, 1, 0, 1, 0, 1, 1});
    QJsonObject doc = QJsonDocument::fromJson(R"({
 "asset": {"version": "2.0"},
 "extensionsUsed": ["KHR_lights_punctual"],
 "extensions": {"KHR_lights_punctual": {"lights": [{"type": "spot", "name": "Spot", "color": [1, 0.5, 0.25],
     "intensity": 10, "spot": {"innerConeAngle": 0.2, "outerConeAngle": 0.4}}]}},
 "scene": 0,
 "scenes": [{"nodes": [0, 1, 2, 3]}],
 "nodes": [
   {"name": "A", "mesh": 0, "translation": [1, 0, 0]},
   {"name": "B", "mesh": 0, "translation": [0, 0, -5], "scale": [2, 2, 2]},
   {"name": "Spot", "translation": [0, 3, 0], "extensions": {"KHR_lights_punctual": {"light": 0}}},
   {"name": "Cam", "camera": 0, "translation": [0, 1, 10]}],
 "cameras": [{"name": "Cam", "type": "perspective", "perspective": {"yfov": 0.8, "znear": 0.1, "aspectRatio": 1.5}}],
 "meshes": [{"name": "Pair", "primitives": [{"attributes": {"POSITION": 0}, "material": 0},
                                             {"attributes": {"POSITION": 1}, "material": 1}]}],
 "materials": [
   {"name": "Red", "pbrMetallicRoughness": {"baseColorFactor": [1, 0, 0, 1], "metallicFactor": 0.25, "roughnessFactor": 0.75}},
   {"name": "Glass", "alphaMode": "BLEND", "pbrMetallicRoughness": {"baseColorFactor": [0.2, 0.4, 0.8, 0.5], "metallicFactor": 0, "roughnessFactor": 0.1}}],
 "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 36}],
 "accessors": [
   {"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
   {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 1], "max": [1, 1, 1]}]
})")
                          .object();
    doc.insert(QStringLiteral("buffers"),
               QJsonArray{QJsonObject{
                   {QStringLiteral("byteLength"), buffer.size()},
                   {QStringLiteral("uri"), QStringLiteral("data:application/octet-stream;base64,") +
                                               QString::fromLatin1(buffer.toBase64())}}});
    return QJsonDocument(doc).toJson();
}

} // namespace zalImportTest
