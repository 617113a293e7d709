#pragma once

#include <QString>
#include <QVariant>

class OdString;
class OdVariant;

// Conversions between the drawing layer's strings and values and Qt's.
class zalHostStrings
{
public:
    static QString toQString(const OdString& text);
    static OdString toOdString(const QString& text);
    // ok is false for values Qt has no counterpart for (arrays, objects).
    static QVariant toQVariant(const OdVariant& value, bool* ok = nullptr);
};
