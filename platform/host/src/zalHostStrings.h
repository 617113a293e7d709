#pragma once

#include <QString>
#include <QVariant>

class OdVariant;

// The drawing layer's values as Qt's; strings alone go through zalStrings.h.
class zalHostStrings
{
public:
    // ok is false for values Qt has no counterpart for (arrays, objects).
    static QVariant toQVariant(const OdVariant& value, bool* ok = nullptr);
};
