#pragma once

#include "IzalViewSystem.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QEvent;
class zalHostView;

// The host's view area: view types registered by modules and the views open on drawings.
class zalHostViewSystem : public QObject, public IzalViewSystem
{
    Q_OBJECT
    Q_INTERFACES(IzalViewSystem)
public:
    explicit zalHostViewSystem(QObject* parent = nullptr);
    ~zalHostViewSystem() override;

    bool registerViewType(const QString& id, const QString& title, const zalViewFactory& factory) override;
    bool unregisterViewType(const QString& id) override;
    IzalView* view(OdDbDatabase* database) const override;
    IzalView* activeView() const override;

    QStringList viewTypes() const { return m_types.keys(); }
    bool hasViewType(const QString& id) const { return m_types.contains(id); }
    QString viewTypeTitle(const QString& id) const;

    // Opens a view of a registered type on db through its factory and makes it active. The widget is
    // parented to parent when the factory left it without one. Null for an unknown type, a null
    // database or a factory that made no widget.
    zalHostView* openView(const QString& typeId, OdDbDatabase* database, QWidget* parent = nullptr,
                          QWidget* mainWindow = nullptr);
    // Deletes the view and its widget; the latest other view becomes active.
    void closeView(IzalView* view);
    QList<zalHostView*> views() const { return m_views; }
    QList<zalHostView*> views(OdDbDatabase* database) const;
    void setActiveView(IzalView* view);

public slots:
    // Default handler of view input (the host's picking and editing starts here).
    void handleViewEvent(IzalView* view, QEvent* event, bool& accepted);

signals:
    void viewTypesChanged();
    void viewOpened(zalHostView* view);
    void viewClosing(zalHostView* view);
    void activeViewChanged(zalHostView* view);
    void viewEventHandled(IzalView* view, int eventType);

private:
    struct ViewType
    {
        QString title;
        zalViewFactory factory;
    };

    void widgetGone(zalHostView* view);

    QMap<QString, ViewType> m_types;
    QList<zalHostView*> m_views;
    zalHostView* m_active = nullptr;
};
