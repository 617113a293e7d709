#pragma once

#include "XoRemoteRenderMonitor.h"

#include <QObject>
#include <QString>

class OdDbDatabase;
class zalHostApplication;

// What the host learns from the channel library about every viewer: the content sent to it (the
// status bar counts entities and triangles while a drawing synchronises) and the faults it reports,
// which go to the command history. Viewers are told apart by their session key, the low 32 bits of
// their drawing's address.
class zalHostViewerMonitor : public QObject, public XoRemoteRenderMonitor
{
    Q_OBJECT
public:
    explicit zalHostViewerMonitor(zalHostApplication* app);
    ~zalHostViewerMonitor() override;

    void contentSent(long sessionKey, std::uint64_t entities, std::uint64_t triangles) override;
    void viewerReported(long sessionKey, int code, const char* message) override;

    // The open drawing of a session key; null when none is open.
    OdDbDatabase* drawingOf(long sessionKey) const;
    // The line the command history shows for a viewer's report.
    QString reportLine(long sessionKey, const QString& message) const;

signals:
    void sent(OdDbDatabase* database, quint64 entities, quint64 triangles);
    void reported(OdDbDatabase* database, int code, const QString& message);

private:
    zalHostApplication* m_app;
    mutable long m_lastKey = 0;
    mutable OdDbDatabase* m_lastDrawing = nullptr;
};
