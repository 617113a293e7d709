#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

// The host's side of the keep-awake requests (zalKeepAwake.h): while a continuous request asks for
// the system, holds a logind "sleep:idle" inhibitor lock on the bus; letting the lock's descriptor
// go when the request ends releases it. Without logind (no system bus, as in containers) it holds
// nothing and says why in lastError. Made by the host application, one per process.
class zalKeepAwakeInhibitor : public QObject
{
    Q_OBJECT
public:
    explicit zalKeepAwakeInhibitor(const QDBusConnection& bus = QDBusConnection::systemBus(),
                                   QObject* parent = nullptr);
    ~zalKeepAwakeInhibitor() override;

    // Whether the current request asks to keep the system awake.
    bool isRequested() const { return m_requested; }
    bool isHolding() const { return m_lock.isValid(); }
    QString lastError() const { return m_error; }

signals:
    void holdingChanged(bool holding);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow(unsigned state);
    void take();
    void letGo();

    QDBusConnection m_bus;
    QDBusUnixFileDescriptor m_lock;
    QString m_error;
    bool m_requested = false;
    // Answers to earlier requests are dropped when another request came meanwhile.
    int m_generation = 0;
};
