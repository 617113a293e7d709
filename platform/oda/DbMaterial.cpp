#include "DbMaterial.h"

#include "DbFilerEnum.h"

#include "DbFiler.h"
#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbMaterial, OdDbObject, DBOBJECT_CONSTR, L"AcDbMaterial", L"MATERIAL")

struct OdDbMaterial::Data
{
    OdString name;
    OdString description;
    OdGiMaterialColor ambient;
    OdGiMaterialColor diffuse;
    OdGiMaterialMap diffuseMap;
    OdGiMaterialColor specular;
    OdGiMaterialMap specularMap;
    double gloss = 0.5;
    OdGiMaterialMap reflectionMap;
    double opacity = 1.0;
    OdGiMaterialMap opacityMap;
    OdGiMaterialMap bumpMap;
    double refractionIndex = 1.0;
    OdGiMaterialMap refractionMap;
    double reflectivity = 0.0;
    double selfIllumination = 0.0;
    bool twoSided = true;
};

OdDbMaterial::OdDbMaterial() : m_data(new Data) {}

OdDbMaterial::~OdDbMaterial()
{
    delete m_data;
}

OdString OdDbMaterial::name() const
{
    assertReadEnabled();
    return m_data->name;
}

OdResult OdDbMaterial::setName(const OdString& name)
{
    if (name.isEmpty()) return eInvalidInput;
    assertWriteEnabled();
    m_data->name = name;
    return eOk;
}

OdString OdDbMaterial::description() const
{
    assertReadEnabled();
    return m_data->description;
}

void OdDbMaterial::setDescription(const OdString& description)
{
    assertWriteEnabled();
    m_data->description = description;
}

void OdDbMaterial::ambient(OdGiMaterialColor& color) const
{
    assertReadEnabled();
    color = m_data->ambient;
}

void OdDbMaterial::setAmbient(const OdGiMaterialColor& color)
{
    assertWriteEnabled();
    m_data->ambient = color;
}

void OdDbMaterial::diffuse(OdGiMaterialColor& color, OdGiMaterialMap& map) const
{
    assertReadEnabled();
    color = m_data->diffuse;
    map = m_data->diffuseMap;
}

void OdDbMaterial::setDiffuse(const OdGiMaterialColor& color, const OdGiMaterialMap& map)
{
    assertWriteEnabled();
    m_data->diffuse = color;
    m_data->diffuseMap = map;
}

void OdDbMaterial::specular(OdGiMaterialColor& color, OdGiMaterialMap& map, double& glossFactor) const
{
    assertReadEnabled();
    color = m_data->specular;
    map = m_data->specularMap;
    glossFactor = m_data->gloss;
}

void OdDbMaterial::setSpecular(const OdGiMaterialColor& color, const OdGiMaterialMap& map, double glossFactor)
{
    assertWriteEnabled();
    m_data->specular = color;
    m_data->specularMap = map;
    m_data->gloss = glossFactor;
}

void OdDbMaterial::reflection(OdGiMaterialMap& map) const
{
    assertReadEnabled();
    map = m_data->reflectionMap;
}

void OdDbMaterial::setReflection(const OdGiMaterialMap& map)
{
    assertWriteEnabled();
    m_data->reflectionMap = map;
}

void OdDbMaterial::opacity(double& percentage, OdGiMaterialMap& map) const
{
    assertReadEnabled();
    percentage = m_data->opacity;
    map = m_data->opacityMap;
}

void OdDbMaterial::setOpacity(double percentage, const OdGiMaterialMap& map)
{
    assertWriteEnabled();
    m_data->opacity = percentage;
    m_data->opacityMap = map;
}

void OdDbMaterial::bump(OdGiMaterialMap& map) const
{
    assertReadEnabled();
    map = m_data->bumpMap;
}

void OdDbMaterial::setBump(const OdGiMaterialMap& map)
{
    assertWriteEnabled();
    m_data->bumpMap = map;
}

void OdDbMaterial::refraction(double& index, OdGiMaterialMap& map) const
{
    assertReadEnabled();
    index = m_data->refractionIndex;
    map = m_data->refractionMap;
}

void OdDbMaterial::setRefraction(double index, const OdGiMaterialMap& map)
{
    assertWriteEnabled();
    m_data->refractionIndex = index;
    m_data->refractionMap = map;
}

double OdDbMaterial::reflectivity() const
{
    assertReadEnabled();
    return m_data->reflectivity;
}

void OdDbMaterial::setReflectivity(double value)
{
    assertWriteEnabled();
    m_data->reflectivity = value;
}

double OdDbMaterial::selfIllumination() const
{
    assertReadEnabled();
    return m_data->selfIllumination;
}

void OdDbMaterial::setSelfIllumination(double value)
{
    assertWriteEnabled();
    m_data->selfIllumination = value;
}

bool OdDbMaterial::twoSided() const
{
    assertReadEnabled();
    return m_data->twoSided;
}

void OdDbMaterial::setTwoSided(bool value)
{
    assertWriteEnabled();
    m_data->twoSided = value;
}

static void writeColor(OdDbDwgFiler* f, const OdGiMaterialColor& c)
{
    f->wrInt16(OdInt16(c.method()));
    f->wrDouble(c.factor());
    f->wrInt32(OdInt32(c.color().color()));
}

static OdGiMaterialColor readColor(OdDbDwgFiler* f)
{
    OdGiMaterialColor c;
    c.setMethod(odRdEnum16(f, OdGiMaterialColor::kInherit, OdGiMaterialColor::kOverride));
    c.setFactor(f->rdDouble());
    OdCmEntityColor ec;
    ec.setColor(OdUInt32(f->rdInt32()));
    c.setColor(ec);
    return c;
}

static void writeMap(OdDbDwgFiler* f, const OdGiMaterialMap& m)
{
    f->wrInt16(OdInt16(m.source()));
    f->wrString(m.sourceFileName());
    f->wrDouble(m.blendFactor());
    f->wrDouble(m.uScale());
    f->wrDouble(m.vScale());
    f->wrDouble(m.uOffset());
    f->wrDouble(m.vOffset());
}

static OdGiMaterialMap readMap(OdDbDwgFiler* f)
{
    OdGiMaterialMap m;
    m.setSource(odRdEnum16(f, OdGiMaterialMap::kScene, OdGiMaterialMap::kProcedural));
    m.setSourceFileName(f->rdString());
    m.setBlendFactor(f->rdDouble());
    double us = f->rdDouble();
    double vs = f->rdDouble();
    m.setScale(us, vs);
    double uo = f->rdDouble();
    double vo = f->rdDouble();
    m.setOffset(uo, vo);
    return m;
}

OdResult OdDbMaterial::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbObject::dwgInFields(filer);
    if (res != eOk) return res;
    Data& d = *m_data;
    d.name = filer->rdString();
    d.description = filer->rdString();
    d.ambient = readColor(filer);
    d.diffuse = readColor(filer);
    d.diffuseMap = readMap(filer);
    d.specular = readColor(filer);
    d.specularMap = readMap(filer);
    d.gloss = filer->rdDouble();
    d.reflectionMap = readMap(filer);
    d.opacity = filer->rdDouble();
    d.opacityMap = readMap(filer);
    d.bumpMap = readMap(filer);
    d.refractionIndex = filer->rdDouble();
    d.refractionMap = readMap(filer);
    d.reflectivity = filer->rdDouble();
    d.selfIllumination = filer->rdDouble();
    d.twoSided = filer->rdBool();
    return eOk;
}

void OdDbMaterial::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbObject::dwgOutFields(filer);
    const Data& d = *m_data;
    filer->wrString(d.name);
    filer->wrString(d.description);
    writeColor(filer, d.ambient);
    writeColor(filer, d.diffuse);
    writeMap(filer, d.diffuseMap);
    writeColor(filer, d.specular);
    writeMap(filer, d.specularMap);
    filer->wrDouble(d.gloss);
    writeMap(filer, d.reflectionMap);
    filer->wrDouble(d.opacity);
    writeMap(filer, d.opacityMap);
    writeMap(filer, d.bumpMap);
    filer->wrDouble(d.refractionIndex);
    writeMap(filer, d.refractionMap);
    filer->wrDouble(d.reflectivity);
    filer->wrDouble(d.selfIllumination);
    filer->wrBool(d.twoSided);
}
