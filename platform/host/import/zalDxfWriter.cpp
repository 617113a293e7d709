#include "zalDxfWriter.h"

#include "Db3dPolyline.h"
#include "DbArc.h"
#include "DbBlockReference.h"
#include "DbBlockTable.h"
#include "DbBlockTableRecord.h"
#include "DbCircle.h"
#include "DbDatabase.h"
#include "DbFace.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbLine.h"
#include "DbObjectIterator.h"
#include "DbPolygonMesh.h"
#include "DbPolyline.h"
#include "DbSubDMesh.h"
#include "DbSymbolTableIterator.h"
#include "DbText.h"
#include "zalHostStrings.h"

#include <QFileInfo>
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
    void real(int code, double value) { pair(code, QByteArray::number(value, 'g', 15)); }
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
};

// R12 text is 8-bit: anything beyond ASCII travels as \U+XXXX.
QByteArray text(const OdString& s)
{
    const QString q = zalHostStrings::toQString(s);
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

void common(Out& out, const char* kind, OdDbEntity* e)
{
    out.pair(0, kind);
    out.pair(8, name(e->layerId()));
    const int color = aci(e->entityColor());
    if (color != 256) out.pair(62, color);
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

// False when the entity has no R12 form.
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
        polyfaceFromShell(out, e, s->vertices(), s->faceList());
    } else if (auto* r = dynamic_cast<OdDbBlockReference*>(e)) {
        common(out, "INSERT", e);
        out.pair(2, name(r->blockTableRecord()));
        out.point(10, toOcs(r->position(), r->normal()));
        out.real(41, r->scaleFactors().sx);
        out.real(42, r->scaleFactors().sy);
        out.real(43, r->scaleFactors().sz);
        out.real(50, r->rotation() * 180.0 / OdaPI);
        out.vector(210, r->normal());
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

} // namespace

bool zalDxfWriter::write(OdDbDatabase* db, const QString& path, QString* error)
{
    if (!db) {
        if (error) *error = QStringLiteral("no drawing to write");
        return false;
    }
    Out out;
    out.pair(0, "SECTION");
    out.pair(2, "HEADER");
    out.pair(9, "$ACADVER");
    out.pair(1, "AC1009");
    out.pair(9, "$INSUNITS");
    out.pair(70, int(db->getINSUNITS()));
    out.pair(0, "ENDSEC");

    out.pair(0, "SECTION");
    out.pair(2, "TABLES");
    out.pair(0, "TABLE");
    out.pair(2, "LAYER");
    OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject();
    out.pair(70, int(layers->numEntries()));
    for (OdDbSymbolTableIteratorPtr it = layers->newIterator(); !it->done(); it->step()) {
        OdDbLayerTableRecordPtr layer = it->getRecord();
        out.pair(0, "LAYER");
        out.pair(2, text(layer->getName()));
        out.pair(70, (layer->isFrozen() ? 1 : 0) | (layer->isLocked() ? 4 : 0));
        int color = aci(layer->color().entityColor());
        if (color <= 0 || color > 255) color = 7;
        out.pair(62, layer->isOff() ? -color : color);
        out.pair(6, "CONTINUOUS");
    }
    out.pair(0, "ENDTAB");
    out.pair(0, "ENDSEC");

    out.pair(0, "SECTION");
    out.pair(2, "BLOCKS");
    OdDbBlockTablePtr blocks = db->getBlockTableId().safeOpenObject();
    for (OdDbSymbolTableIteratorPtr it = blocks->newIterator(); !it->done(); it->step()) {
        OdDbBlockTableRecordPtr block = it->getRecord();
        if (block->isLayout()) continue;
        out.pair(0, "BLOCK");
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
    out.pair(0, "EOF");

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out.data) != out.data.size() || !file.commit()) {
        if (error)
            *error = QFileInfo(path).fileName() + QStringLiteral(": cannot be written (") +
                     file.errorString() + ')';
        return false;
    }
    return true;
}
