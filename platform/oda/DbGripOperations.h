#pragma once

// Grip states a grip is drawn in, and what happens to a grip during an edit.
namespace OdDbGripOperations {
enum DrawType : int
{
    kWarmGrip = 0,
    kHoverGrip = 1,
    kHotGrip = 2,
    kDragImageGrip = 3
};

enum GripStatus
{
    kGripStart = 0,
    kGripEnd = 1,
    kGripAbort = 2,
    kStretch = 3,
    kMove = 4,
    kRotate = 5,
    kScale = 6,
    kMirror = 7,
    kDimFocusChanged = 8,
    kPopUpMenu = 9
};
} // namespace OdDbGripOperations
