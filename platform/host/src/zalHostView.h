#pragma once

#include "IzalView.h"

#include "DbDatabase.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

// A view open in the host: the factory's widget on one drawing. Owned by zalHostViewSystem; owns the
// widget it shows and deletes it on close.
class zalHostView : public QObject, public IzalView
{
    Q_OBJECT
    Q_INTERFACES(IzalView)
public:
    zalHostView(const QString& typeName, OdDbDatabase* database, QWidget* widget, QObject* parent = nullptr);
    ~zalHostView() override;

    QString typeName() const override { return m_typeName; }
    OdDbDatabase* database() const override { return m_database.get(); }
    QWidget* widget() const override { return m_widget.data(); }
    OdGsView* gsView() const override { return m_gsView; }
    void update() override;

    // The host's graphics view for this view's camera; not owned.
    void setGsView(OdGsView* view) { m_gsView = view; }
    int updateCount() const { return m_updateCount; }
    // The widget is being destroyed by someone else; the view must not delete it again.
    void releaseWidget() { m_widget = nullptr; }

signals:
    void updated();

private:
    QString m_typeName;
    OdSmartPtr<OdDbDatabase> m_database;
    QPointer<QWidget> m_widget;
    OdGsView* m_gsView = nullptr;
    int m_updateCount = 0;
};
