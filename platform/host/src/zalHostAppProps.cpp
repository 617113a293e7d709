#include "zalHostAppProps.h"

#include "zalHostStrings.h"
#include "zalStrings.h"

#include <QDebug>

zalHostAppProps::zalHostAppProps(const QString& iniFile, QObject* parent)
    : QObject(parent), m_settings(iniFile, QSettings::IniFormat)
{
}

QString zalHostAppProps::typeKey(const QString& key)
{
    return QStringLiteral("VarTypes/") + key;
}

int zalHostAppProps::intVariable(const OdString& key, int defaultValue) const
{
    const QVariant value = variable(zalStrings::toQString(key));
    bool ok = false;
    const int result = value.toInt(&ok);
    return ok ? result : defaultValue;
}

bool zalHostAppProps::createVariable(const OdString& key, const OdVariant& value, const OdString& typeName)
{
    bool ok = false;
    const QVariant converted = zalHostStrings::toQVariant(value, &ok);
    if (!ok) {
        qWarning() << "zalhost: variable" << zalStrings::toQString(key) << "has a value of an unknown kind";
        return false;
    }
    return setVariable(zalStrings::toQString(key), converted, zalStrings::toQString(typeName));
}

bool zalHostAppProps::hasVariable(const QString& key) const
{
    return !key.isEmpty() && m_settings.contains(key);
}

QVariant zalHostAppProps::variable(const QString& key, const QVariant& defaultValue) const
{
    if (key.isEmpty()) return defaultValue;
    return m_settings.value(key, defaultValue);
}

QString zalHostAppProps::variableType(const QString& key) const
{
    return key.isEmpty() ? QString() : m_settings.value(typeKey(key)).toString();
}

bool zalHostAppProps::setVariable(const QString& key, const QVariant& value, const QString& typeName)
{
    if (key.isEmpty() || key.startsWith(QLatin1String("VarTypes/"))) return false;
    const QString type = typeName.toLower();
    bool ok = true;
    QVariant stored;
    if (type == QLatin1String("int"))
        stored = value.toInt(&ok);
    else if (type == QLatin1String("double"))
        stored = value.toDouble(&ok);
    else if (type == QLatin1String("bool"))
        stored = value.toBool();
    else if (type == QLatin1String("string"))
        stored = value.toString();
    else
        ok = false;
    if (!ok) {
        qWarning() << "zalhost: variable" << key << "cannot hold" << value << "as" << typeName;
        return false;
    }
    m_settings.setValue(key, stored);
    m_settings.setValue(typeKey(key), type);
    m_settings.sync();
    if (m_settings.status() != QSettings::NoError) {
        qWarning() << "zalhost: cannot write the variables to" << m_settings.fileName();
        return false;
    }
    emit variableChanged(key);
    return true;
}

bool zalHostAppProps::removeVariable(const QString& key)
{
    if (!hasVariable(key)) return false;
    m_settings.remove(key);
    m_settings.remove(typeKey(key));
    m_settings.sync();
    emit variableChanged(key);
    return m_settings.status() == QSettings::NoError;
}
