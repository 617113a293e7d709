#pragma once

#include "IzalAppProps.h"

#include <QObject>
#include <QSettings>
#include <QVariant>

// Application variables in an INI file: the value under its key ("Vars/UEVersion"), its type name
// under "VarTypes/<key>". Every change is written at once, so a second host on the same file sees it.
class zalHostAppProps : public QObject, public IzalAppProps
{
    Q_OBJECT
    Q_INTERFACES(IzalAppProps)
public:
    explicit zalHostAppProps(const QString& iniFile, QObject* parent = nullptr);

    int intVariable(const OdString& key, int defaultValue) const override;
    bool createVariable(const OdString& key, const OdVariant& value, const OdString& typeName) override;

    QString fileName() const { return m_settings.fileName(); }
    bool hasVariable(const QString& key) const;
    QVariant variable(const QString& key, const QVariant& defaultValue = {}) const;
    QString variableType(const QString& key) const;
    // typeName "int", "double", "bool" or "string"; the value must convert to it. False otherwise or
    // when the file cannot be written.
    bool setVariable(const QString& key, const QVariant& value, const QString& typeName);
    bool removeVariable(const QString& key);

signals:
    void variableChanged(const QString& key);

private:
    static QString typeKey(const QString& key);

    mutable QSettings m_settings;
};
