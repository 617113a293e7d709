#pragma once

#include "ColorMapping.h"
#include "GiCommon.h"
#include "GiContext.h"

class OdDbDatabase;

// Drawing context bound to a database (not owned: the caller keeps the database alive).
class ODGS_EXPORT OdGiContextForDbDatabase : public OdGiContext
{
public:
    OdGiContextForDbDatabase();
    ~OdGiContextForDbDatabase() override;

    void setDatabase(OdDbDatabase* database) { m_database = database; }
    OdDbDatabase* getDatabase() const { return m_database; }
    OdRxObject* database() const override;

    void setPaletteBackground(ODCOLORREF color) { m_background = color; }
    ODCOLORREF paletteBackground() const { return m_background; }

private:
    OdDbDatabase* m_database = nullptr;
    ODCOLORREF m_background = 0;
};

typedef OdSmartPtr<OdGiContextForDbDatabase> OdGiContextForDbDatabasePtr;
