// A grip point an entity offers for editing: its position, the application's payload with its
// run-time class, and the callbacks the editor calls to draw and operate the grip. The grip data
// does not own the payload; whoever sets it releases it (see setGripOpStatFunc).
#pragma once

#include "DbGripOperations.h"
#include "Ge/GePoint3d.h"
#include "OdArray.h"
#include "OdResult.h"
#include "OdaCommon.h"

class OdDbGripData;
class OdGiViewportDraw;
class OdGiWorldDraw;
class OdRxClass;
class OdDbStub;

typedef bool (*GripWorldDrawPtr)(OdDbGripData* grip, OdGiWorldDraw* worldDraw, OdDbStub* entityId,
                                 OdDbGripOperations::DrawType type, OdGePoint3d* imageGripPoint,
                                 double gripSize);
typedef void (*GripViewportDrawPtr)(OdDbGripData* grip, OdGiViewportDraw* viewportDraw, OdDbStub* entityId,
                                    OdDbGripOperations::DrawType type, OdGePoint3d* imageGripPoint,
                                    int gripSize);
typedef OdResult (*GripOperationPtr)(OdDbGripData* grip, OdDbStub* entityId, int contextFlags);
typedef void (*GripOpStatusPtr)(OdDbGripData* grip, OdDbStub* entityId,
                                OdDbGripOperations::GripStatus status);

class ODKIT_EXPORT OdDbGripData
{
public:
    // Option bits of the flag word.
    enum GripFlags
    {
        kSkipWhenShared = 0x1,
        kDisableRubberBandLine = 0x2,
        kDisableModeKeywords = 0x4,
        kDrawAtDragImageGripPoint = 0x8,
        kTriggerGrip = 0x10,
        kForcedPickOn = 0x20,
        kMapGripHotToRtClk = 0x40,
        kGizmosEnabled = 0x80,
        kGripIsPerViewport = 0x100
    };

    OdDbGripData() = default;

    const OdGePoint3d& gripPoint() const { return m_gripPoint; }
    void setGripPoint(const OdGePoint3d& point) { m_gripPoint = point; }
    void* appData() const { return m_appData; }
    void setAppData(void* appData) { m_appData = appData; }
    OdRxClass* appDataOdRxClass() const { return m_appDataClass; }
    void setAppDataOdRxClass(OdRxClass* appDataClass) { m_appDataClass = appDataClass; }
    // The point a rubber band is drawn to while the grip is dragged; null when none. Not owned.
    OdGePoint3d* alternateBasePoint() const { return m_alternateBasePoint; }
    void setAlternateBasePoint(OdGePoint3d* point) { m_alternateBasePoint = point; }

    GripWorldDrawPtr worldDraw() const { return m_worldDraw; }
    void setWorldDraw(GripWorldDrawPtr callback) { m_worldDraw = callback; }
    GripViewportDrawPtr viewportDraw() const { return m_viewportDraw; }
    void setViewportDraw(GripViewportDrawPtr callback) { m_viewportDraw = callback; }
    GripOperationPtr hotGripFunc() const { return m_hotGrip; }
    void setHotGripFunc(GripOperationPtr callback) { m_hotGrip = callback; }
    GripOperationPtr hoverFunc() const { return m_hover; }
    void setHoverFunc(GripOperationPtr callback) { m_hover = callback; }
    GripOpStatusPtr gripOpStatFunc() const { return m_opStatus; }
    void setGripOpStatFunc(GripOpStatusPtr callback) { m_opStatus = callback; }

    OdUInt32 bitFlags() const { return m_flags; }
    void setBitFlags(OdUInt32 flags) { m_flags = flags; }
    bool gizmosEnabled() const { return (m_flags & kGizmosEnabled) != 0; }
    void setGizmosEnabled(bool on) { setFlag(kGizmosEnabled, on); }
    bool gripIsPerViewport() const { return (m_flags & kGripIsPerViewport) != 0; }
    void setGripIsPerViewport(bool on) { setFlag(kGripIsPerViewport, on); }
    bool drawAtDragImageGripPoint() const { return (m_flags & kDrawAtDragImageGripPoint) != 0; }
    void setDrawAtDragImageGripPoint(bool on) { setFlag(kDrawAtDragImageGripPoint, on); }

private:
    void setFlag(OdUInt32 bit, bool on) { m_flags = on ? (m_flags | bit) : (m_flags & ~bit); }

    OdGePoint3d m_gripPoint;
    void* m_appData = nullptr;
    OdRxClass* m_appDataClass = nullptr;
    OdGePoint3d* m_alternateBasePoint = nullptr;
    GripWorldDrawPtr m_worldDraw = nullptr;
    GripViewportDrawPtr m_viewportDraw = nullptr;
    GripOperationPtr m_hotGrip = nullptr;
    GripOperationPtr m_hover = nullptr;
    GripOpStatusPtr m_opStatus = nullptr;
    OdUInt32 m_flags = 0;
};

typedef OdArray<OdDbGripData*> OdDbGripDataPtrArray;
