#pragma once

#include "DbUnitsFormatter.h"

namespace odkit {
// Formatter that reads LUNITS/LUPREC/AUNITS/AUPREC from db at each call (db owns it).
OdDbUnitsFormatterPtr createDatabaseUnitsFormatter(OdDbDatabase* db);
} // namespace odkit
