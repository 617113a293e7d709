#include "DbField.h"

#include "DbFiler.h"
#include "internal/DbDefine.h"

ODKIT_DB_DEFINE_MEMBERS(OdDbField, OdDbObject, DBOBJECT_CONSTR, L"AcDbField", L"FIELD")

OdDbField::OdDbField() = default;
OdDbField::~OdDbField() = default;

OdResult OdDbField::setFieldCode(const OdString& fieldCode, FieldCodeFlag flags, OdDbObjectIdArray*)
{
    assertWriteEnabled();
    m_code = fieldCode;
    m_flags = OdUInt32(flags);
    return eOk;
}

OdString OdDbField::getFieldCode(FieldCodeFlag) const
{
    assertReadEnabled();
    return m_code;
}

OdDbField::State OdDbField::state() const
{
    assertReadEnabled();
    return State(kInitialized | (m_code.isEmpty() ? 0 : kCompiled | kEvaluated));
}

OdResult OdDbField::dwgInFields(OdDbDwgFiler* filer)
{
    OdResult res = OdDbObject::dwgInFields(filer);
    if (res != eOk) return res;
    m_code = filer->rdString();
    m_flags = OdUInt32(filer->rdInt32());
    return eOk;
}

void OdDbField::dwgOutFields(OdDbDwgFiler* filer) const
{
    OdDbObject::dwgOutFields(filer);
    filer->wrString(m_code);
    filer->wrInt32(OdInt32(m_flags));
}
