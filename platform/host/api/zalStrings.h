#pragma once

#include "OdString.h"

#include <QString>

// The drawing layer's strings and Qt's, both ways; the one conversion host and modules share.
// Embedded nulls are kept.
namespace zalStrings {

inline QString toQString(const OdString& text)
{
    return QString::fromWCharArray(text.c_str(), int(text.getLength()));
}

inline OdString toOdString(const QString& text)
{
    return OdString(text.toStdWString());
}

} // namespace zalStrings
