// A field: a text expression stored in the drawing (its field code).
#pragma once

#include "DbObject.h"

class ODKIT_EXPORT OdDbField : public OdDbObject
{
public:
    ODRX_DECLARE_MEMBERS(OdDbField);
    OdDbField();
    ~OdDbField() override;

    enum FieldCodeFlag
    {
        kFieldCode = 0x1,
        kEvaluatedText = 0x2,
        kEvaluatedChildren = 0x4,
        kObjectReference = 0x8,
        kAddMarkers = 0x10,
        kEscapeBackslash = 0x20,
        kStripOptions = 0x40,
        kPreserveFields = 0x80,
        kTextField = 0x100,
        kPreserveOptions = 0x200,
        kDetachChildren = 0x400,
        kChildObjectReference = 0x800,
        kForExpression = 0x1000
    };
    enum State
    {
        kInitialized = 0x1,
        kCompiled = 0x2,
        kModified = 0x4,
        kEvaluated = 0x8,
        kHasCache = 0x10,
        kHasFormattedString = 0x20
    };

    OdResult setFieldCode(const OdString& fieldCode, FieldCodeFlag flags = FieldCodeFlag(0),
                          OdDbObjectIdArray* childFields = nullptr);
    OdString getFieldCode(FieldCodeFlag flags = FieldCodeFlag(0)) const;
    // The text the field shows (the field code; no evaluator).
    OdString getFieldValue() const { return getFieldCode(); }
    State state() const;

    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

private:
    OdString m_code;
    OdUInt32 m_flags = 0;
};
typedef OdSmartPtr<OdDbField> OdDbFieldPtr;
