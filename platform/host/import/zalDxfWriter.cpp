#include "zalDxfWriter.h"

#include "Db3dPolyline.h"
#include "DbArc.h"
#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "DbCircle.h"
#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbDictionaryIterator.h"
#include "DbDwgMemoryFiler.h"
#include "DbFace.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLight.h"
#include "DbLine.h"
#include "DbMaterial.h"
#include "DbObjectIterator.h"
#include "DbPolyFaceMesh.h"
#include "DbPolygonMesh.h"
#include "DbPolyline.h"
#include "DbSubDMesh.h"
#include "DbSymbolTableIterator.h"
#include "DbText.h"
#include "DbViewportTable.h"
#include "DbViewportTableRecord.h"
#include "RxObjectImpl.h"
#include "zalHostPhysicsMaterial.h"
#include "zalHostPhysicsMaterials.h"
#include "zalStrings.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <QSaveFile>

#include <cmath>

namespace {

class Out
{
public:
    void pair(int code, const QByteArray& value)
    {
        data += QByteArray::number(code).rightJustified(3, ' ') + '\n' + value + '\n';
    }
    void pair(int code, const char* value) { pair(code, QByteArray(value)); }
    void pair(int code, int value) { pair(code, QByteArray::number(value)); }
    // Shortest text that reads back as the same double.
    void real(int code, double value)
    {
        pair(code, QByteArray::number(value, 'g', QLocale::FloatingPointShortest));
    }
    void handle(const OdDbObjectId& id) { pair(5, hex(id)); }
    static QByteArray hex(const OdDbObjectId& id)
    {
        return QByteArray::number(qulonglong(OdUInt64(id.getHandle())), 16).toUpper();
    }
    void point(int code, const OdGePoint3d& p)
    {
        real(code, p.x);
        real(code + 10, p.y);
        real(code + 20, p.z);
    }
    void vector(int code, const OdGeVector3d& v)
    {
        real(code, v.x);
        real(code + 10, v.y);
        real(code + 20, v.z);
    }
    QByteArray data;
    // Handle of the entity that owns the next one written (330), when that is no block.
    QByteArray owner;
};

// R12 text is 8-bit: anything beyond ASCII travels as \U+XXXX.
QByteArray text(const OdString& s)
{
    const QString q = zalStrings::toQString(s);
    QByteArray out;
    for (const QChar c : q) {
        if (c.unicode() < 128 && c.unicode() >= 32)
            out += char(c.unicode());
        else
            out += "\\U+" + QByteArray::number(c.unicode(), 16).toUpper().rightJustified(4, '0');
    }
    return out;
}

QByteArray name(const OdDbObjectId& id)
{
    OdDbObjectPtr object = id.openObject();
    auto* record = dynamic_cast<OdDbSymbolTableRecord*>(object.get());
    return record ? text(record->getName()) : QByteArray("0");
}

int aci(const OdCmEntityColor& c)
{
    if (c.isByLayer()) return 256;
    if (c.isByBlock()) return 0;
    if (c.isByACI()) return c.colorIndex();
    return OdCmEntityColor::lookUpACI(c.red(), c.green(), c.blue());
}

OdGePoint3d toOcs(const OdGePoint3d& p, const OdGeVector3d& normal)
{
    OdGePoint3d q = p;
    return q.transformBy(OdGeMatrix3d::worldToPlane(normal));
}

// The entity's filer record as binary chunks (310), for what its DXF groups cannot hold: the reader
// prefers the record and falls back to the groups. Ids in it are handles, kept across a save.
void record(Out& out, const OdDbObject* object)
{
    OdDbDwgMemoryFilerPtr filer(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
    filer->setDatabase(object->database());
    object->dwgOutFields(filer.get());
    const std::string bytes = filer->toBytes();
    const QByteArray hex = QByteArray::fromRawData(bytes.data(), int(bytes.size())).toHex().toUpper();
    for (int i = 0; i < hex.size(); i += 254)
        out.pair(310, hex.mid(i, 254));
}

void common(Out& out, const char* kind, OdDbEntity* e)
{
    out.pair(0, kind);
    out.handle(e->objectId());
    if (!out.owner.isEmpty()) {
        out.pair(330, out.owner);
        out.owner.clear();
    }
    out.pair(8, name(e->layerId()));
    const OdCmEntityColor c = e->entityColor();
    const int color = aci(c);
    if (color != 256) out.pair(62, color);
    if (c.isByColor()) out.pair(420, int((c.red() << 16) | (c.green() << 8) | c.blue()));
    const OdDbObjectId material = e->materialId();
    if (!material.isNull() && material != e->database()->byLayerMaterialId())
        out.pair(347, Out::hex(material));
    if (e->visibility() == OdDb::kInvisible) out.pair(60, 1);
    // libdime reads coordinates as floats, and angles and plane coordinates do not round-trip
    // exactly through their DXF forms: the record keeps every entity exact.
    record(out, e);
}

void polyfaceFromShell(Out& out, OdDbEntity* e, const OdArray<OdGePoint3d>& vertices,
                       const OdArray<OdInt32>& list)
{
    // Faces of more than four corners become fans of triangles.
    QVector<QVector<int>> faces;
    const unsigned size = list.size();
    unsigned i = 0;
    while (i < size) {
        const int n = list[i];
        const unsigned count = unsigned(n < 0 ? -n : n);
        if (count == 0 || i + count >= size) break;
        // Holes are not kept.
        if (n > 0) {
            QVector<int> loop;
            for (unsigned k = 1; k <= count; ++k)
                loop << list[i + k];
            if (loop.size() <= 4)
                faces << loop;
            else
                for (int k = 1; k + 1 < loop.size(); ++k)
                    faces << QVector<int>{loop[0], loop[k], loop[k + 1]};
        }
        i += count + 1;
    }
    common(out, "POLYLINE", e);
    out.pair(66, 1);
    out.point(10, OdGePoint3d());
    out.pair(70, 64);
    out.pair(71, int(vertices.size()));
    out.pair(72, faces.size());
    for (const OdGePoint3d& p : vertices) {
        out.pair(0, "VERTEX");
        out.pair(8, name(e->layerId()));
        out.point(10, p);
        out.pair(70, 192);
    }
    for (const QVector<int>& f : faces) {
        out.pair(0, "VERTEX");
        out.pair(8, name(e->layerId()));
        out.point(10, OdGePoint3d());
        out.pair(70, 128);
        for (int k = 0; k < f.size(); ++k)
            out.pair(71 + k, f[k] + 1);
    }
    out.pair(0, "SEQEND");
}

void light(Out& out, OdDbLight* l)
{
    common(out, "LIGHT", l);
    out.pair(100, "AcDbLight");
    out.pair(1, text(l->name()));
    const OdGiDrawable::DrawableType type = l->lightType();
    out.pair(70, type == OdGiDrawable::kDistantLight ? 1 : type == OdGiDrawable::kSpotLight ? 3 : 2);
    out.pair(290, l->isOn() ? 1 : 0);
    const OdCmEntityColor c = l->lightColor().entityColor();
    if (c.isByColor())
        out.pair(421, int((c.red() << 16) | (c.green() << 8) | c.blue()));
    else
        out.pair(63, aci(c));
    out.real(40, l->intensity());
    out.point(10, l->position());
    out.point(11, l->targetLocation());
    out.real(50, l->hotspotAngle() * 180.0 / OdaPI);
    out.real(51, l->falloffAngle() * 180.0 / OdaPI);
}

bool entity(Out& out, OdDbEntity* e);

// Entities of classes without a DXF form of their own (the module's and sibling libraries'): the
// class's DXF name, its run-time class name as subclass marker, and the whole filer record.
// Entities such an entity owns (an XBlock's instances) are in no block: each follows its owner with
// the owner's handle (330), and the reader adds it to that owner.
void custom(Out& out, OdDbEntity* e)
{
    QByteArray kind = text(e->isA()->dxfName()).toUpper();
    if (kind.isEmpty()) kind = text(e->isA()->name()).toUpper();
    common(out, kind.constData(), e);
    out.pair(100, "AcDbEntity");
    out.pair(100, text(e->isA()->name()));

    OdDbDwgMemoryFilerPtr filer(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
    filer->setDatabase(e->database());
    e->dwgOutFields(filer.get());
    for (OdUInt32 i = 0; i < filer->numItems(); ++i) {
        if (filer->itemTypeAt(i) != OdDbDwgMemoryFiler::kHardOwnershipId) continue;
        filer->seek(i);
        OdDbObjectPtr object = filer->rdHardOwnershipId().openObject();
        auto* child = dynamic_cast<OdDbEntity*>(object.get());
        if (!child || child->ownerId() != e->objectId()) continue;
        out.owner = Out::hex(e->objectId());
        entity(out, child);
        out.owner.clear();
    }
}

// False when the entity has no DXF form.
bool entity(Out& out, OdDbEntity* e)
{
    if (auto* f = dynamic_cast<OdDbFace*>(e)) {
        common(out, "3DFACE", e);
        for (int i = 0; i < 4; ++i) {
            OdGePoint3d p;
            f->getVertexAt(OdUInt16(i), p);
            out.point(10 + i, p);
        }
        int hidden = 0;
        for (int i = 0; i < 4; ++i)
            if (!f->isEdgeVisibleAt(OdUInt16(i))) hidden |= 1 << i;
        if (hidden) out.pair(70, hidden);
    } else if (auto* l = dynamic_cast<OdDbLine*>(e)) {
        common(out, "LINE", e);
        out.point(10, l->startPoint());
        out.point(11, l->endPoint());
    } else if (auto* a = dynamic_cast<OdDbArc*>(e)) {
        common(out, "ARC", e);
        out.point(10, toOcs(a->center(), a->normal()));
        out.real(40, a->radius());
        out.real(50, a->startAngle() * 180.0 / OdaPI);
        out.real(51, a->endAngle() * 180.0 / OdaPI);
        out.vector(210, a->normal());
    } else if (auto* c = dynamic_cast<OdDbCircle*>(e)) {
        common(out, "CIRCLE", e);
        out.point(10, toOcs(c->center(), c->normal()));
        out.real(40, c->radius());
        out.vector(210, c->normal());
    } else if (auto* t = dynamic_cast<OdDbText*>(e)) {
        common(out, "TEXT", e);
        out.point(10, toOcs(t->position(), t->normal()));
        out.real(40, t->height());
        out.pair(1, text(t->textString()));
        out.real(50, t->rotation() * 180.0 / OdaPI);
        out.vector(210, t->normal());
    } else if (auto* p = dynamic_cast<OdDbPolyline*>(e)) {
        common(out, "POLYLINE", e);
        out.pair(66, 1);
        out.point(10, OdGePoint3d());
        out.pair(70, 8 | (p->isClosed() ? 1 : 0));
        for (unsigned i = 0; i < p->numVerts(); ++i) {
            OdGePoint3d v;
            p->getPointAt(i, v);
            out.pair(0, "VERTEX");
            out.pair(8, name(e->layerId()));
            out.point(10, v);
            out.pair(70, 32);
        }
        out.pair(0, "SEQEND");
    } else if (auto* p3 = dynamic_cast<OdDb3dPolyline*>(e)) {
        common(out, "POLYLINE", e);
        out.pair(66, 1);
        out.point(10, OdGePoint3d());
        out.pair(70, 8 | (p3->isClosed() ? 1 : 0));
        for (const OdGePoint3d& v : p3->vertices()) {
            out.pair(0, "VERTEX");
            out.pair(8, name(e->layerId()));
            out.point(10, v);
            out.pair(70, 32);
        }
        out.pair(0, "SEQEND");
    } else if (auto* m = dynamic_cast<OdDbPolygonMesh*>(e)) {
        common(out, "POLYLINE", e);
        out.pair(66, 1);
        out.point(10, OdGePoint3d());
        out.pair(70, 16 | (m->isMClosed() ? 1 : 0) | (m->isNClosed() ? 32 : 0));
        out.pair(71, m->mSize());
        out.pair(72, m->nSize());
        for (OdInt16 i = 0; i < m->mSize(); ++i)
            for (OdInt16 j = 0; j < m->nSize(); ++j) {
                out.pair(0, "VERTEX");
                out.pair(8, name(e->layerId()));
                out.point(10, m->vertexAt(i, j));
                out.pair(70, 64);
            }
        out.pair(0, "SEQEND");
    } else if (auto* s = dynamic_cast<OdDbSubDMesh*>(e)) {
        common(out, "MESH", e);
        out.pair(100, "AcDbSubDMesh");
        out.pair(71, 2);
        out.pair(72, 0);
        out.pair(91, s->subDLevel());
        out.pair(92, int(s->vertices().size()));
        for (const OdGePoint3d& v : s->vertices())
            out.point(10, v);
        out.pair(93, int(s->faceList().size()));
        for (OdInt32 v : s->faceList())
            out.pair(90, v);
        out.pair(94, 0);
        out.pair(95, 0);
        out.pair(90, 0);
    } else if (auto* pf = dynamic_cast<OdDbPolyFaceMesh*>(e)) {
        OdArray<OdGePoint3d> vertices;
        for (OdInt32 i = 0; i < pf->numVertices(); ++i)
            vertices.append(pf->vertexAt(i));
        polyfaceFromShell(out, e, vertices, pf->faceList());
    } else if (auto* lt = dynamic_cast<OdDbLight*>(e)) {
        light(out, lt);
    } else if (auto* r = dynamic_cast<OdDbBlockReference*>(e)) {
        common(out, "INSERT", e);
        out.pair(2, name(r->blockTableRecord()));
        out.point(10, toOcs(r->position(), r->normal()));
        out.real(41, r->scaleFactors().sx);
        out.real(42, r->scaleFactors().sy);
        out.real(43, r->scaleFactors().sz);
        out.real(50, r->rotation() * 180.0 / OdaPI);
        out.vector(210, r->normal());
    } else if (e->isA()->name().find(L"zal") == 0) {
        custom(out, e);
    } else {
        return false;
    }
    return true;
}

void entities(Out& out, const OdDbObjectId& blockId)
{
    OdDbBlockTableRecordPtr block = blockId.safeOpenObject();
    for (OdDbObjectIteratorPtr it = block->newIterator(); !it->done(); it->step()) {
        OdDbEntityPtr e = it->entity();
        if (!e.isNull()) entity(out, e.get());
    }
}

void header(Out& out, OdDbDatabase* db)
{
    out.pair(0, "SECTION");
    out.pair(2, "HEADER");
    out.pair(9, "$ACADVER");
    out.pair(1, "AC1015");
    out.pair(9, "$HANDSEED");
    out.pair(5, QByteArray::number(qulonglong(OdUInt64(db->handseed())), 16).toUpper());
    out.pair(9, "$INSUNITS");
    out.pair(70, int(db->getINSUNITS()));
    out.pair(9, "$LUNITS");
    out.pair(70, int(db->getLUNITS()));
    out.pair(9, "$LUPREC");
    out.pair(70, int(db->getLUPREC()));
    out.pair(9, "$AUNITS");
    out.pair(70, int(db->getAUNITS()));
    out.pair(9, "$AUPREC");
    out.pair(70, int(db->getAUPREC()));
    out.pair(9, "$MEASUREMENT");
    out.pair(70, int(db->getMEASUREMENT()));
    out.pair(9, "$TILEMODE");
    out.pair(70, db->getTILEMODE() ? 1 : 0);
    out.pair(9, "$CLAYER");
    out.pair(8, name(db->getCLAYER()));
    out.pair(0, "ENDSEC");
}

void viewports(Out& out, OdDbDatabase* db)
{
    out.pair(0, "TABLE");
    out.pair(2, "VPORT");
    OdDbViewportTablePtr table = db->getViewportTableId().safeOpenObject();
    out.pair(70, int(table->numEntries()));
    for (OdDbSymbolTableIteratorPtr it = table->newIterator(); !it->done(); it->step()) {
        OdDbViewportTableRecordPtr vp = it->getRecord();
        out.pair(0, "VPORT");
        out.handle(vp->objectId());
        out.pair(2, text(vp->getName()));
        out.pair(70, 0);
        out.real(10, vp->lowerLeftCorner().x);
        out.real(20, vp->lowerLeftCorner().y);
        out.real(11, vp->upperRightCorner().x);
        out.real(21, vp->upperRightCorner().y);
        out.real(12, vp->centerPoint().x);
        out.real(22, vp->centerPoint().y);
        out.vector(16, vp->viewDirection());
        out.point(17, vp->target());
        out.real(40, vp->height());
        out.real(41, vp->height() > 0 ? vp->width() / vp->height() : 1.0);
        out.real(42, vp->lensLength());
        out.real(51, vp->viewTwist() * 180.0 / OdaPI);
        record(out, vp.get());
    }
    out.pair(0, "ENDTAB");
}

void layers(Out& out, OdDbDatabase* db)
{
    out.pair(0, "TABLE");
    out.pair(2, "LAYER");
    OdDbLayerTablePtr table = db->getLayerTableId().safeOpenObject();
    out.pair(70, int(table->numEntries()));
    for (OdDbSymbolTableIteratorPtr it = table->newIterator(); !it->done(); it->step()) {
        OdDbLayerTableRecordPtr layer = it->getRecord();
        out.pair(0, "LAYER");
        out.handle(layer->objectId());
        out.pair(2, text(layer->getName()));
        out.pair(70, (layer->isFrozen() ? 1 : 0) | (layer->isLocked() ? 4 : 0));
        const OdCmEntityColor c = layer->color().entityColor();
        int color = aci(c);
        if (color <= 0 || color > 255) color = 7;
        out.pair(62, layer->isOff() ? -color : color);
        if (c.isByColor()) out.pair(420, int((c.red() << 16) | (c.green() << 8) | c.blue()));
        out.pair(6, "CONTINUOUS");
        if (!layer->materialId().isNull()) out.pair(347, Out::hex(layer->materialId()));
    }
    out.pair(0, "ENDTAB");
}

void materials(Out& out, OdDbDatabase* db, const zalHostPhysicsMaterials* physics)
{
    OdDbDictionaryPtr dictionary = db->getMaterialDictionaryId().safeOpenObject();
    for (OdDbDictionaryIteratorPtr it = dictionary->newIterator(); !it->done(); it->next()) {
        OdDbObjectPtr object = it->objectId().openObject();
        OdDbMaterial* m = dynamic_cast<OdDbMaterial*>(object.get());
        if (!m) continue;
        out.pair(0, "MATERIAL");
        out.handle(m->objectId());
        out.pair(100, "AcDbMaterial");
        out.pair(1, text(m->name()));
        out.pair(2, text(m->description()));
        OdGiMaterialColor color;
        OdGiMaterialMap map;
        m->diffuse(color, map);
        if (color.method() == OdGiMaterialColor::kOverride) {
            const OdCmEntityColor& c = color.color();
            const quint32 raw = c.isByACI()
                                    ? ((quint32(OdCmEntityColor::kByACI) << 24) | c.colorIndex())
                                    : ((quint32(OdCmEntityColor::kByColor) << 24) | (quint32(c.red()) << 16) |
                                       (quint32(c.green()) << 8) | c.blue());
            out.pair(91, QByteArray::number(qint32(raw)));
        }
        if (map.source() == OdGiMaterialMap::kFile && !map.sourceFileName().isEmpty()) {
            out.real(42, map.blendFactor());
            out.pair(3, text(map.sourceFileName()));
        }
        double opacity = 1.0;
        m->opacity(opacity, map);
        out.real(140, opacity);
        double index = 1.0;
        m->refraction(index, map);
        out.real(145, index);
        record(out, m);
        // Application data comes last in an object; readers that do not know it pass over it.
        if (const auto description = physics ? physics->importedDescription(m->objectId()) : nullptr) {
            out.pair(1001, zalDxfWriter::kPhysicsApplication);
            const QByteArray hex =
                QJsonDocument(description->toJson()).toJson(QJsonDocument::Compact).toHex().toUpper();
            for (int i = 0; i < hex.size(); i += 254)
                out.pair(1004, hex.mid(i, 254));
        }
    }
}

} // namespace

bool zalDxfWriter::write(OdDbDatabase* db, const QString& path, QString* error,
                         const zalHostPhysicsMaterials* physics)
{
    if (!db) {
        if (error) *error = QStringLiteral("no drawing to write");
        return false;
    }
    Out out;
    header(out, db);

    out.pair(0, "SECTION");
    out.pair(2, "TABLES");
    viewports(out, db);
    layers(out, db);
    out.pair(0, "ENDSEC");

    out.pair(0, "SECTION");
    out.pair(2, "BLOCKS");
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject();
    for (OdDbSymbolTableIteratorPtr it = blocks->newIterator(); !it->done(); it->step()) {
        OdDbBlockTableRecordPtr block = it->getRecord();
        if (block->isLayout()) continue;
        out.pair(0, "BLOCK");
        out.handle(block->objectId());
        out.pair(8, "0");
        out.pair(2, text(block->getName()));
        out.pair(70, 0);
        out.point(10, block->origin());
        out.pair(3, text(block->getName()));
        entities(out, block->objectId());
        out.pair(0, "ENDBLK");
        out.pair(8, "0");
    }
    out.pair(0, "ENDSEC");

    out.pair(0, "SECTION");
    out.pair(2, "ENTITIES");
    entities(out, db->getModelSpaceId());
    out.pair(0, "ENDSEC");

    out.pair(0, "SECTION");
    out.pair(2, "OBJECTS");
    materials(out, db, physics);
    out.pair(0, "ENDSEC");
    out.pair(0, "EOF");

    // QSaveFile writes beside the target and renames over it on commit: a failed save leaves the
    // drawing as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out.data) != out.data.size() || !file.commit()) {
        if (error)
            *error = QFileInfo(path).fileName() + QStringLiteral(": cannot be written (") +
                     file.errorString() + ')';
        return false;
    }
    return true;
}
