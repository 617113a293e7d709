#pragma once

#include "GiCommon.h"

// Base of transient drawables: not persistent, no database id, the graphics cache slot kept by the
// drawable. Reference counting comes from OdRxObjectImpl around the final class.
template <class T = OdGiDrawable> class OdGiDrawableImpl : public T
{
public:
    bool isPersistent() const override { return false; }
    OdDbStub* id() const override { return nullptr; }
};
