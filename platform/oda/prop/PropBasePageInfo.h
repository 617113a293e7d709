// What a property source tells the services about the page it fills: its title and where it goes
// among other pages (lower orders first).
#pragma once

#include "OdString.h"

class IPropBasePageInfo
{
public:
    virtual ~IPropBasePageInfo() = default;
    virtual const OdString& pageTitle() const = 0;
    virtual int pageOrder() const = 0;
};
