#pragma once

#include "zalExport.h"

#include "OdArray.h"
#include "OdString.h"
#include "RxObject.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

class OdPropContext;

// The render and scene settings panel: one property page of the host's property services whose
// every edit becomes scene settings of the active render session. Made by createSettingsWidget,
// owned by its parent; owns its property source.
class ZAL_EXPORT zalUnrealSettingsWidget : public QWidget
{
    Q_OBJECT
public:
    explicit zalUnrealSettingsWidget(QWidget* parent = nullptr);
    ~zalUnrealSettingsWidget() override;

    // The page id the property services gave; empty without services.
    QString pageId() const { return m_pageId; }
    OdRxObject* propertySource() const { return m_settingsPropertySource.get(); }

    // The image size labels in order; the last one, "Custom Size", has no size.
    static const QStringList& frameSizeList();
    // Index of the first label starting with "<width>x<height>"; the last index when none does.
    static int frameSizeIndex(int width, int height);
    // Width and height of a label; an invalid size for the last index or one out of range.
    static QSize frameSize(int index);

public slots:
    void refresh(const QString& qsKey, const QString& qsArg);

private:
    bool getPropertyValues(OdPropContext& context);
    bool getPossibleValues(const OdString& path, OdArray<OdString>& values);
    bool setPropertyValue(const OdString& path, const OdString& value, int& action);
    void exportImage();

    QString m_pageId;
    OdRxObjectPtr m_settingsPropertySource;
};
