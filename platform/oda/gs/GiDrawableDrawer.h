#pragma once

#include "GiCommon.h"

class OdGiWorldDraw;
class OdGiDrawableTraits;

// Draws drawables of one kind on their behalf (a protocol extension). The database layer's classes do not
// know the graphics layer; the graphics layer registers drawers for them (entity traits, block references,
// block records) and the vectorizer asks the registry before the drawable itself.
class ODGS_EXPORT OdGiDrawableDrawer
{
public:
    virtual ~OdGiDrawableDrawer() = default;
    // Whether this drawer handles the drawable.
    virtual bool handles(const OdGiDrawable* drawable) const = 0;
    virtual std::uint32_t setAttributes(const OdGiDrawable* drawable, OdGiDrawableTraits* traits) const
    {
        return drawable->setAttributes(traits);
    }
    virtual bool worldDraw(const OdGiDrawable* drawable, OdGiWorldDraw* worldDraw) const
    {
        return drawable->worldDraw(worldDraw);
    }

    // The registry; drawers added later are asked first. The registry keeps the pointer; the drawer must
    // stay alive until removed.
    static void addDrawer(const OdGiDrawableDrawer* drawer);
    static void removeDrawer(const OdGiDrawableDrawer* drawer);
    // The drawer for the drawable, or null when it draws itself.
    static const OdGiDrawableDrawer* drawerFor(const OdGiDrawable* drawable);
};
