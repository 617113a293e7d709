#include "zalKeepAwakeInhibitor.h"

#include "zalKeepAwake.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDynamicPropertyChangeEvent>

zalKeepAwakeInhibitor::zalKeepAwakeInhibitor(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        follow(zalExecutionStateNow());
    }
}

zalKeepAwakeInhibitor::~zalKeepAwakeInhibitor() = default;

bool zalKeepAwakeInhibitor::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "zalExecutionState")
        follow(zalExecutionStateNow());
    return QObject::eventFilter(watched, event);
}

void zalKeepAwakeInhibitor::follow(unsigned state)
{
    const bool requested = (state & ZAL_ES_CONTINUOUS) && (state & ZAL_ES_SYSTEM_REQUIRED);
    if (requested == m_requested) return;
    m_requested = requested;
    ++m_generation;
    if (requested)
        take();
    else
        letGo();
}

void zalKeepAwakeInhibitor::take()
{
    if (!m_bus.isConnected()) {
        m_error = tr("No system bus: the machine may sleep during long jobs.");
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                       "org.freedesktop.login1.Manager", "Inhibit");
    call << QStringLiteral("sleep:idle") << QCoreApplication::applicationName()
         << QStringLiteral("A long job is running") << QStringLiteral("block");
    // Asked without blocking the GUI thread; the lock counts from the answer on.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const int generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        if (reply.isError()) {
            m_error = reply.error().message();
            return;
        }
        // The request ended before the answer came: dropping the descriptor releases the lock.
        if (generation != m_generation || !m_requested) return;
        m_lock = reply.value();
        m_error.clear();
        emit holdingChanged(true);
    });
}

void zalKeepAwakeInhibitor::letGo()
{
    if (!m_lock.isValid()) return;
    m_lock = QDBusUnixFileDescriptor();
    emit holdingChanged(false);
}
