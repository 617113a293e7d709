// User input and output of a command. The host implements it (interactive prompts, a script
// or a queue of answers). A cancelled prompt raises OdEdCancel; a keyword answer raises
// OdEdKeyword.
#pragma once

#include "Ed/EdCancel.h"
#include "Ed/EdKeyword.h"
#include "Ed/EdPointTracker.h"
#include "Ge/GePoint3d.h"
#include "OdString.h"
#include "RxObject.h"

namespace OdEd {
enum InputOptions
{
    kInpDefault = 0,
    kInpNonZero = 1,
    kInpNonNeg = 2,
    kInpThrowEmpty = 4,
    kInpThrowOther = 8,
    kGstNoEmpty = 16,
    kGstAllowSpaces = 32
};
enum GetPointOptions
{
    kGptDefault = 0,
    kGptNoLimCheck = 0x40,
    kGptNoUCS = 0x80,
    kGptRectFrame = 0x100,
    kGptRubberBand = 0x200,
    kGptNoOSnap = 0x400
};
} // namespace OdEd

class ODKIT_EXPORT OdEdUserIO : public OdRxObject
{
public:
    ODRX_DECLARE_MEMBERS(OdEdUserIO);

    virtual OdString getString(const OdString& prompt, int options = OdEd::kInpDefault,
                               const OdString& defaultValue = OdString(),
                               const OdString& keywords = OdString()) = 0;
    // An empty answer gives defaultValue.
    virtual int getInt(const OdString& prompt, int options = OdEd::kInpDefault, int defaultValue = 0,
                       const OdString& keywords = OdString()) = 0;
    virtual double getReal(const OdString& prompt, int options = OdEd::kInpDefault, double defaultValue = 0.0,
                           const OdString& keywords = OdString()) = 0;
    // The tracker (if any) gets addDrawables, setValue per cursor point and removeDrawables.
    virtual OdGePoint3d getPoint(const OdString& prompt, int options = OdEd::kGptDefault,
                                 const OdGePoint3d* defaultValue = nullptr,
                                 const OdString& keywords = OdString(),
                                 OdEdPointTracker* tracker = nullptr) = 0;
    // Index of the keyword chosen among the blank-separated keywords.
    virtual int getKeyword(const OdString& prompt, const OdString& keywords, int defaultValue = -1,
                           int options = OdEd::kInpDefault) = 0;
    virtual void putString(const OdString& text) = 0;
    virtual void putError(const OdString& text) { putString(text); }
};
typedef OdSmartPtr<OdEdUserIO> OdEdUserIOPtr;
