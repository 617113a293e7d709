#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

// Host events by name ("<event-refresh:view_changed>") and their subscribers. A subscriber receives
// each event through its slot refresh(QString key, QString arg), key being the event name.
class zalHostEventHub : public QObject
{
    Q_OBJECT
public:
    explicit zalHostEventHub(QObject* parent = nullptr);

    // events: names joined by "|", optionally preceded by a class name of the receiver, either glued to
    // the first name ("Widget<e1>|<e2>") or as its own part ("Widget|<e1>|<e2>"). False when nothing
    // is named, the receiver is null or the class name is not one of the receiver's classes.
    bool subscribe(const QString& events, QObject* receiver);
    bool unsubscribe(const QString& events, QObject* receiver);

    // Delivers to a copy of the subscriber list, so receivers may subscribe or unsubscribe while they
    // handle it. Returns the number of receivers reached.
    int fire(const QString& event, const QString& arg);

    QStringList subscribers(const QString& event) const;
    bool isSubscribed(const QString& event, const QObject* receiver) const;

    // The event names of a subscription string; empty when it names none or the class does not fit.
    static QStringList parseEvents(const QString& events, const QObject* receiver, bool* ok = nullptr);

signals:
    void delivered(const QString& event, const QString& arg, QObject* receiver);

private slots:
    void forget(QObject* receiver);

private:
    QHash<QString, QList<QPointer<QObject>>> m_subscribers;
};
