#pragma once

#include "zalExport.h"

#include "PropBase.h"
#include "PropBasePageInfo.h"

#include <functional>

// A property source whose three operations are the callbacks it was made with, so a panel can
// describe its page with plain functions. Create it with OdRxObjectImpl<ConfigurablePropBase>: the
// count starts at 1 and the last release deletes it. The callbacks usually capture the owner, which
// must outlive the page the source is attached to.
class ZAL_EXPORT ConfigurablePropBase : public OdPropBase, public IPropBasePageInfo
{
public:
    typedef std::function<bool(OdPropContext& context)> ValuesCallback;
    typedef std::function<bool(const OdString& path, const OdString& value, OdPropSource::Action_t& action)>
        SetValueCallback;
    typedef std::function<bool(const OdString& path, OdArray<OdString>& values, OdArray<OdString>& second)>
        PossibleValuesCallback;

    explicit ConfigurablePropBase(ValuesCallback values = ValuesCallback(),
                                  SetValueCallback setValue = SetValueCallback(),
                                  PossibleValuesCallback possibleValues = PossibleValuesCallback());
    ~ConfigurablePropBase() override;

    // Describes the page in a context named "Property" rooted at the path prefix and appends its
    // text; the values callback's answer.
    bool getPropertyValues(OdString& text) override;
    // False when there is no set-value callback.
    bool setPropertyValue(const OdString& path, const OdString& value,
                          OdPropSource::Action_t& action) override;
    // False when there is no possible-values callback.
    bool getPropertyPossibleValues(const OdString& path, OdArray<OdString>& values,
                                   OdArray<OdString>& second) override;
    // False when there is no values callback.
    bool getPropertyValues(OdPropContext& context) override;

    // IPropBasePageInfo
    const OdString& pageTitle() const override { return m_pageTitle; }
    int pageOrder() const override { return m_pageOrder; }

    const OdString& pathPrefix() const { return m_pathPrefix; }
    void setPathPrefix(const OdString& prefix) { m_pathPrefix = prefix; }
    void setPageTitle(const OdString& title) { m_pageTitle = title; }
    void setPageOrder(int order) { m_pageOrder = order; }

private:
    ValuesCallback m_valuesCallback;
    SetValueCallback m_setValueCallback;
    PossibleValuesCallback m_possibleValuesCallback;
    OdString m_pathPrefix;
    OdString m_pageTitle;
    int m_pageOrder = 100;
};
