#include "zalDxfMaterials.h"

#include "zalDxfText.h"
#include "zalDxfWriter.h"
#include "zalStrings.h"

#include "DbDatabase.h"
#include "DbDictionary.h"
#include "DbDwgMemoryFiler.h"
#include "DbMaterial.h"
#include "RxObjectImpl.h"

namespace {

// AcCmEntityColor as the file stores it: method byte, then red, green, blue.
bool trueColor(const QByteArray& value, OdCmEntityColor& color)
{
    bool ok = false;
    const qint64 raw = value.trimmed().toLongLong(&ok);
    if (!ok) return false;
    const quint32 v = quint32(raw);
    const quint32 method = v >> 24;
    if (method == OdCmEntityColor::kByACI) {
        color.setColorIndex(OdUInt16(v & 0xff));
        return true;
    }
    color.setRGB(OdUInt8((v >> 16) & 0xff), OdUInt8((v >> 8) & 0xff), OdUInt8(v & 0xff));
    return true;
}

double number(const QByteArray& value, double fallback)
{
    bool ok = false;
    const double d = value.trimmed().toDouble(&ok);
    return ok ? d : fallback;
}

OdGiMaterialMap fileMap(const QString& file, double blend)
{
    OdGiMaterialMap map;
    if (!file.isEmpty()) {
        map.setSource(OdGiMaterialMap::kFile);
        map.setSourceFileName(zalStrings::toOdString(file));
        map.setBlendFactor(blend);
    }
    return map;
}

OdString toOd(const QString& s)
{
    return zalStrings::toOdString(s);
}

} // namespace

bool zalDxfMaterials::readRecord(const QByteArray& hex, OdDbDatabase* db, OdDbObject* target)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    return readBytes(std::string(bytes.constData(), size_t(bytes.size())), db, target);
}

bool zalDxfMaterials::readBytes(const std::string& bytes, OdDbDatabase* db, OdDbObject* target)
{
    OdDbDwgMemoryFilerPtr filer(OdRxObjectImpl<OdDbDwgMemoryFiler>::createObject());
    filer->setDatabase(db);
    if (bytes.empty() || !filer->fromBytes(bytes)) return false;
    try {
        if (target->dwgInFields(filer.get()) != eOk) return false;
    } catch (const OdError&) {
        return false;
    }
    // A record of another class reads wrongly or leaves items over.
    return filer->atEnd();
}

int zalDxfMaterials::import(const zalDxfGroupReader& reader, const zalDxfText& text, OdDbDatabase* db)
{
    m_byHandle.clear();
    m_created.clear();
    m_descriptions.clear();
    QHash<QByteArray, QByteArray> physicsByHandle;
    int begin = 0;
    int end = 0;
    reader.sectionRange("OBJECTS", begin, end);
    if (begin < 0 || end < 0) return 0;
    const auto& g = reader.groups();

    OdDbDictionaryPtr dictionary = db->getMaterialDictionaryId().safeOpenObject(OdDb::kForWrite);
    for (int i = begin; i < end; ++i) {
        if (g[i].code != 0 || g[i].value.trimmed() != "MATERIAL") continue;
        int j = i + 1;
        QByteArray handle;
        QString name, description, diffuseFile, bumpFile, reflectionFile, opacityFile;
        OdCmEntityColor diffuse(OdCmEntityColor::kByColor);
        bool hasDiffuse = false;
        double diffuseBlend = 1.0, opacity = 1.0, gloss = 0.5, refraction = 1.0;
        double bumpBlend = 1.0, reflectionBlend = 1.0, opacityBlend = 1.0;
        // Some codes mean different things by where they stand (the diffuse "3" and the normal map's
        // "3"); the first occurrence is the diffuse one.
        bool seenDiffuseFile = false;
        QByteArray record;
        QByteArray physics;
        bool inPhysics = false;
        for (; j < end && g[j].code != 0; ++j) {
            const QByteArray& v = g[j].value;
            if (g[j].code >= 1000) {
                // Application data: only the host's description is read, the rest passed over.
                if (g[j].code == 1001) inPhysics = v.trimmed() == zalDxfWriter::kPhysicsApplication;
                if (g[j].code == 1004 && inPhysics) physics += v.trimmed();
                continue;
            }
            switch (g[j].code) {
            case 310:
                record += v.trimmed();
                break;
            case 5:
                handle = v.trimmed().toUpper();
                break;
            case 1:
                name = text.decode(v.constData());
                break;
            case 2:
                description = text.decode(v.constData());
                break;
            case 91:
                hasDiffuse = trueColor(v, diffuse);
                break;
            case 42:
                diffuseBlend = number(v, 1.0);
                break;
            case 3:
                if (!seenDiffuseFile) diffuseFile = text.decode(v.constData());
                seenDiffuseFile = true;
                break;
            case 44:
                gloss = number(v, 0.5);
                break;
            case 48:
                reflectionBlend = number(v, 1.0);
                break;
            case 6:
                reflectionFile = text.decode(v.constData());
                break;
            case 140:
                opacity = qBound(0.0, number(v, 1.0), 1.0);
                break;
            case 141:
                opacityBlend = number(v, 1.0);
                break;
            case 7:
                opacityFile = text.decode(v.constData());
                break;
            case 143:
                bumpBlend = number(v, 1.0);
                break;
            case 8:
                bumpFile = text.decode(v.constData());
                break;
            case 145:
                refraction = number(v, 1.0);
                break;
            default:
                break;
            }
        }
        i = j - 1;
        if (handle.isEmpty() || name.isEmpty()) continue;
        if (!physics.isEmpty()) physicsByHandle.insert(handle, QByteArray::fromHex(physics));
        const QString lower = name.toLower();
        if (lower == QLatin1String("bylayer")) {
            m_byHandle.insert(handle, db->byLayerMaterialId());
            continue;
        }
        if (lower == QLatin1String("byblock")) {
            m_byHandle.insert(handle, db->byBlockMaterialId());
            continue;
        }
        if (lower == QLatin1String("global")) {
            m_byHandle.insert(handle, db->globalMaterialId());
            continue;
        }
        if (dictionary->has(toOd(name))) {
            m_byHandle.insert(handle, dictionary->getAt(toOd(name)));
            continue;
        }
        OdDbMaterialPtr material = OdDbMaterial::createObject();
        // A record written by the host holds every field; the groups are what other writers give.
        if (!record.isEmpty() && readRecord(record, db, material.get()) && material->name() == toOd(name)) {
            db->setNextHandle(OdDbHandle(toOd(QString::fromLatin1(handle))));
            const OdDbObjectId id = dictionary->setAt(toOd(name), material.get());
            db->setNextHandle(OdDbHandle());
            m_byHandle.insert(handle, id);
            m_created.append(id);
            continue;
        }
        material = OdDbMaterial::createObject();
        material->setName(toOd(name));
        material->setDescription(toOd(description));
        OdGiMaterialColor color;
        if (hasDiffuse) color = OdGiMaterialColor(diffuse);
        material->setDiffuse(color, fileMap(diffuseFile, diffuseBlend));
        OdGiMaterialColor specular;
        material->setSpecular(specular, OdGiMaterialMap(), gloss);
        material->setOpacity(opacity, fileMap(opacityFile, opacityBlend));
        material->setBump(fileMap(bumpFile, bumpBlend));
        material->setReflection(fileMap(reflectionFile, reflectionBlend));
        material->setRefraction(refraction, OdGiMaterialMap());
        db->setNextHandle(OdDbHandle(toOd(QString::fromLatin1(handle))));
        const OdDbObjectId id = dictionary->setAt(toOd(name), material.get());
        db->setNextHandle(OdDbHandle());
        m_byHandle.insert(handle, id);
        m_created.append(id);
    }
    for (auto it = physicsByHandle.cbegin(); it != physicsByHandle.cend(); ++it) {
        const OdDbObjectId id = m_byHandle.value(it.key());
        if (!id.isNull()) m_descriptions.insert(id, it.value());
    }
    return m_created.size();
}

OdDbObjectId zalDxfMaterials::byHandle(const QByteArray& handle) const
{
    return m_byHandle.value(handle.trimmed().toUpper());
}
