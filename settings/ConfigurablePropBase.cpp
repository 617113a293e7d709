#include "ConfigurablePropBase.h"

#include <utility>

ConfigurablePropBase::ConfigurablePropBase(ValuesCallback values, SetValueCallback setValue,
                                           PossibleValuesCallback possibleValues)
    : m_valuesCallback(std::move(values)), m_setValueCallback(std::move(setValue)),
      m_possibleValuesCallback(std::move(possibleValues))
{
}

ConfigurablePropBase::~ConfigurablePropBase() = default;

bool ConfigurablePropBase::getPropertyValues(OdString& text)
{
    OdPropContext context(m_pathPrefix, OdString(L"Property"));
    bool described = getPropertyValues(context);
    if (described) text += context.text();
    return described;
}

bool ConfigurablePropBase::setPropertyValue(const OdString& path, const OdString& value,
                                            OdPropSource::Action_t& action)
{
    return m_setValueCallback ? m_setValueCallback(path, value, action) : false;
}

bool ConfigurablePropBase::getPropertyPossibleValues(const OdString& path, OdArray<OdString>& values,
                                                     OdArray<OdString>& second)
{
    return m_possibleValuesCallback ? m_possibleValuesCallback(path, values, second) : false;
}

bool ConfigurablePropBase::getPropertyValues(OdPropContext& context)
{
    return m_valuesCallback ? m_valuesCallback(context) : false;
}
