#include "zalHostEventHub.h"

#include <QDebug>
#include <QMetaObject>

zalHostEventHub::zalHostEventHub(QObject* parent) : QObject(parent) {}

QStringList zalHostEventHub::parseEvents(const QString& events, const QObject* receiver, bool* ok)
{
    if (ok) *ok = false;
    QStringList parts = events.split(QLatin1Char('|'));
    for (QString& part : parts)
        part = part.trimmed();
    if (parts.isEmpty() || !receiver) return {};

    QString className;
    QString& first = parts.first();
    const int bracket = first.indexOf(QLatin1Char('<'));
    if (bracket > 0) {
        className = first.left(bracket);
        first = first.mid(bracket);
    } else if (bracket < 0 && parts.size() > 1 && receiver->inherits(first.toLatin1().constData())) {
        className = first;
        first.clear();
    }
    if (!className.isEmpty() && !receiver->inherits(className.toLatin1().constData())) {
        qWarning() << "zalhost: events for" << className << "subscribed by a"
                   << receiver->metaObject()->className();
        return {};
    }

    QStringList names;
    for (const QString& part : parts)
        if (!part.isEmpty() && !names.contains(part)) names << part;
    if (ok) *ok = !names.isEmpty();
    return names;
}

bool zalHostEventHub::subscribe(const QString& events, QObject* receiver)
{
    bool ok = false;
    const QStringList names = parseEvents(events, receiver, &ok);
    if (!ok) return false;
    if (receiver->metaObject()->indexOfSlot("refresh(QString,QString)") < 0)
        qWarning() << "zalhost:" << receiver->metaObject()->className()
                   << "has no slot refresh(QString,QString)";
    for (const QString& name : names) {
        QList<QPointer<QObject>>& list = m_subscribers[name];
        if (!list.contains(receiver)) list << receiver;
    }
    // Unique: a receiver subscribed many times is forgotten once.
    connect(receiver, &QObject::destroyed, this, &zalHostEventHub::forget, Qt::UniqueConnection);
    return true;
}

bool zalHostEventHub::unsubscribe(const QString& events, QObject* receiver)
{
    bool ok = false;
    const QStringList names = parseEvents(events, receiver, &ok);
    if (!ok) return false;
    bool removed = false;
    for (const QString& name : names) {
        auto it = m_subscribers.find(name);
        if (it == m_subscribers.end()) continue;
        removed = it->removeAll(receiver) > 0 || removed;
        if (it->isEmpty()) m_subscribers.erase(it);
    }
    return removed;
}

void zalHostEventHub::forget(QObject* receiver)
{
    // No QPointer may be made of an object being destroyed, so entries are compared as raw pointers.
    // A plain QObject's guards are already null here; a widget's are cleared only after it reports.
    for (auto it = m_subscribers.begin(); it != m_subscribers.end();) {
        for (auto entry = it->begin(); entry != it->end();)
            entry = entry->isNull() || entry->data() == receiver ? it->erase(entry) : std::next(entry);
        it = it->isEmpty() ? m_subscribers.erase(it) : std::next(it);
    }
}

int zalHostEventHub::fire(const QString& event, const QString& arg)
{
    const QList<QPointer<QObject>> receivers = m_subscribers.value(event);
    int reached = 0;
    for (const QPointer<QObject>& receiver : receivers) {
        if (!receiver || !isSubscribed(event, receiver)) continue;
        if (QMetaObject::invokeMethod(receiver.data(), "refresh", Q_ARG(QString, event),
                                      Q_ARG(QString, arg))) {
            ++reached;
            emit delivered(event, arg, receiver.data());
        }
    }
    return reached;
}

QStringList zalHostEventHub::subscribers(const QString& event) const
{
    QStringList names;
    for (const QPointer<QObject>& receiver : m_subscribers.value(event))
        if (receiver) names << QString::fromLatin1(receiver->metaObject()->className());
    return names;
}

bool zalHostEventHub::isSubscribed(const QString& event, const QObject* receiver) const
{
    for (const QPointer<QObject>& r : m_subscribers.value(event))
        if (r == receiver) return true;
    return false;
}
