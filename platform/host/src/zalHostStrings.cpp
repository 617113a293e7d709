#include "zalHostStrings.h"
#include "zalStrings.h"

#include "OdString.h"
#include "OdVariant.h"

QVariant zalHostStrings::toQVariant(const OdVariant& value, bool* ok)
{
    if (ok) *ok = true;
    switch (value.varType()) {
    case OdVariant::kString:
        return zalStrings::toQString(value.getString());
    case OdVariant::kAnsiString:
        return QString::fromStdString(OdString(value.getAnsiString()).toUtf8());
    case OdVariant::kBool:
        return value.getBool();
    case OdVariant::kInt8:
        return int(value.getInt8());
    case OdVariant::kInt16:
        return int(value.getInt16());
    case OdVariant::kInt32:
        return int(value.getInt32());
    case OdVariant::kInt64:
        return qlonglong(value.getInt64());
    case OdVariant::kDouble:
        return value.getDouble();
    case OdVariant::kVoid:
    case OdVariant::kRxObjectPtr:
        break;
    }
    if (ok) *ok = false;
    return QVariant();
}
