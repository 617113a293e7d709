#include "zalHostView.h"

zalHostView::zalHostView(const QString& typeName, OdDbDatabase* database, QWidget* widget, QObject* parent)
    : QObject(parent), m_typeName(typeName), m_database(database), m_widget(widget)
{
}

zalHostView::~zalHostView()
{
    delete m_widget.data();
}

void zalHostView::update()
{
    ++m_updateCount;
    if (m_widget) m_widget->update();
    emit updated();
}
