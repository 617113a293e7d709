#include "zalHostViewerMonitor.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalStrings.h"

#include "XoRemoteRenderSender.h"

#include <QFileInfo>

#include <cstdint>

zalHostViewerMonitor::zalHostViewerMonitor(zalHostApplication* app) : QObject(app), m_app(app)
{
    XoRemoteRenderSender::setMonitor(this);
}

zalHostViewerMonitor::~zalHostViewerMonitor()
{
    if (XoRemoteRenderSender::monitor() == this) XoRemoteRenderSender::setMonitor(nullptr);
}

OdDbDatabase* zalHostViewerMonitor::drawingOf(long sessionKey) const
{
    // Asked for every mesh of a refresh: the last answer, while that drawing is still open, saves a copy
    // of the document list.
    if (m_lastDrawing && m_lastKey == sessionKey && m_app->isOpenDocument(m_lastDrawing))
        return m_lastDrawing;
    for (OdDbDatabase* db : m_app->documents()) {
        const auto address = reinterpret_cast<std::uintptr_t>(db);
        if (std::uint32_t(address & 0xFFFFFFFFu) == std::uint32_t(sessionKey)) {
            m_lastKey = sessionKey;
            m_lastDrawing = db;
            return db;
        }
    }
    return nullptr;
}

QString zalHostViewerMonitor::reportLine(long sessionKey, const QString& message) const
{
    OdDbDatabase* db = drawingOf(sessionKey);
    const QString name = db ? QFileInfo(zalStrings::toQString(db->getFilename())).fileName() : QString();
    return name.isEmpty() ? QStringLiteral("Viewer: %1").arg(message)
                          : QStringLiteral("Viewer of %1: %2").arg(name, message);
}

void zalHostViewerMonitor::contentSent(long sessionKey, std::uint64_t entities, std::uint64_t triangles)
{
    emit sent(drawingOf(sessionKey), quint64(entities), quint64(triangles));
}

void zalHostViewerMonitor::viewerReported(long sessionKey, int code, const char* message)
{
    const QString text = QString::fromUtf8(message ? message : "");
    if (m_app->console()) m_app->console()->write(reportLine(sessionKey, text));
    emit reported(drawingOf(sessionKey), code, text);
}
