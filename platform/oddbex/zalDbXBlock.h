#pragma once

#include "zalOdDbExExport.h"

#include "DbBlockReference.h"
#include "DbEntity.h"

#include <map>

// An external block with several representations (by type: a drawing, a viewer asset, a pak asset...).
// Each representation has a path and may have an instance: a block reference the XBlock owns that shows
// it in the drawing. The XBlock lives in the block record that stands for it.
class ZALODDBEX_EXPORT zalDbXBlock : public OdDbEntity
{
public:
    ODRX_DECLARE_MEMBERS(zalDbXBlock);
    zalDbXBlock();
    ~zalDbXBlock() override;

    // The representation's path: "Pak:<pak file>:<asset path>", a viewer asset path, or a drawing file
    // name relative to localArchivePath. Empty when the XBlock has no such representation.
    OdString subObjectPath(int representationType) const;
    void setSubObjectPath(int representationType, const OdString& path);
    // Folder of the XBlock's local files.
    OdString localArchivePath() const;
    void setLocalArchivePath(const OdString& path);
    // The block reference that shows the representation, opened for read; null when there is none.
    OdDbBlockReferencePtr getInstanceForRepresentation(int representationType) const;
    OdDbObjectId instanceIdForRepresentation(int representationType) const;
    // The reference must be owned by this XBlock (added to the database with it as owner).
    void setInstanceForRepresentation(int representationType, const OdDbObjectId& referenceId);
    // Scale of the representation's content; without one, 1.0 when orDefault, else 0.0.
    double getScaleForRepr(int representationType, bool orDefault) const;
    void setScaleForRepr(int representationType, double scale);

    // Own fields behind a format version, so a file keeps every one.
    OdResult dwgInFields(OdDbDwgFiler* filer) override;
    void dwgOutFields(OdDbDwgFiler* filer) const override;

protected:
    // Draws the instance of the viewer representation (type 4), so the XBlock shows what it stands for.
    bool subWorldDraw(OdGiWorldDraw* worldDraw) const override;
    OdResult subGetGeomExtents(OdGeExtents3d& extents) const override;

private:
    std::map<int, OdString> m_paths;
    std::map<int, OdDbObjectId> m_instances;
    std::map<int, double> m_scales;
    OdString m_archivePath;
};

typedef OdSmartPtr<zalDbXBlock> zalDbXBlockPtr;
