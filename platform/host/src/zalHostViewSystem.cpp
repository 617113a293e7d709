#include "zalHostViewSystem.h"

#include "zalHostView.h"

#include <QDebug>
#include <QEvent>
#include <QWidget>

zalHostViewSystem::zalHostViewSystem(QObject* parent) : QObject(parent) {}

zalHostViewSystem::~zalHostViewSystem()
{
    // Views own module widgets: they go while the module that made them is still loaded.
    const QList<zalHostView*> views = m_views;
    m_views.clear();
    m_active = nullptr;
    qDeleteAll(views);
}

bool zalHostViewSystem::registerViewType(const QString& id, const QString& title,
                                         const zalViewFactory& factory)
{
    if (id.isEmpty() || !factory || m_types.contains(id)) return false;
    m_types.insert(id, ViewType{title, factory});
    emit viewTypesChanged();
    return true;
}

bool zalHostViewSystem::unregisterViewType(const QString& id)
{
    if (m_types.remove(id) == 0) return false;
    emit viewTypesChanged();
    return true;
}

QString zalHostViewSystem::viewTypeTitle(const QString& id) const
{
    return m_types.value(id).title;
}

IzalView* zalHostViewSystem::view(OdDbDatabase* database) const
{
    if (!database) return nullptr;
    if (m_active && m_active->database() == database) return m_active;
    for (auto it = m_views.crbegin(); it != m_views.crend(); ++it)
        if ((*it)->database() == database) return *it;
    return nullptr;
}

IzalView* zalHostViewSystem::activeView() const
{
    return m_active;
}

QList<zalHostView*> zalHostViewSystem::views(OdDbDatabase* database) const
{
    QList<zalHostView*> result;
    for (zalHostView* v : m_views)
        if (v->database() == database) result << v;
    return result;
}

zalHostView* zalHostViewSystem::openView(const QString& typeId, OdDbDatabase* database, QWidget* parent,
                                         QWidget* mainWindow)
{
    auto type = m_types.constFind(typeId);
    if (type == m_types.constEnd() || !database) {
        qWarning() << "zalhost: cannot open a view of type" << typeId;
        return nullptr;
    }
    // Copied: the factory may unregister its own type.
    const zalViewFactory factory = type->factory;
    QWidget* widget = factory(database, parent, mainWindow);
    if (!widget) {
        qWarning() << "zalhost: the factory of" << typeId << "made no view";
        return nullptr;
    }
    if (parent && !widget->parentWidget()) widget->setParent(parent);
    auto* view = new zalHostView(typeId, database, widget, this);
    m_views << view;
    // A module may close its widget itself; the view goes with it.
    connect(widget, &QObject::destroyed, this, [this, view]() { widgetGone(view); });
    emit viewOpened(view);
    setActiveView(view);
    return view;
}

void zalHostViewSystem::widgetGone(zalHostView* view)
{
    // A widget reports its destruction before its QPointers are cleared.
    if (!m_views.contains(view)) return;
    view->releaseWidget();
    closeView(view);
}

void zalHostViewSystem::closeView(IzalView* iview)
{
    auto* view = dynamic_cast<zalHostView*>(iview);
    if (!view || !m_views.contains(view)) return;
    emit viewClosing(view);
    m_views.removeAll(view);
    if (m_active == view) setActiveView(m_views.isEmpty() ? nullptr : m_views.last());
    delete view;
}

void zalHostViewSystem::setActiveView(IzalView* iview)
{
    auto* view = dynamic_cast<zalHostView*>(iview);
    if (iview && !m_views.contains(view)) return;
    if (m_active == view) return;
    m_active = view;
    emit activeViewChanged(view);
}

void zalHostViewSystem::handleViewEvent(IzalView* view, QEvent* event, bool& accepted)
{
    if (!event) return;
    accepted = true;
    emit viewEventHandled(view, int(event->type()));
}
