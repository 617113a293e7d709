#pragma once

// The module's host for the settings and production tests: one drawing open, its viewer played by
// the recording transport, and what was sent to it read back as console lines.

#include "tests/common/zalModuleTestHost.h"

#include "zalHostProjectManager.h"

class zalSettingsSessionTest : public zalModuleTestHost
{
protected:
    // Opens db in an "UnrealRender" view, makes it the current drawing and lets its viewer start.
    // The recorder then holds nothing: what a test reads is what happened after this.
    zalDbUnrealRenderSession* openDrawing(OdDbDatabase* db, bool withViewer = true)
    {
        const Opened o = open(db);
        EXPECT_NE(o.recorder, nullptr);
        if (!o.session || !o.recorder) return o.session;
        recorder = o.recorder;
        if (withViewer) startViewer(o);
        recorder->clear();
        return o.session;
    }

    // Plays the viewer reporting its window: the session's tick embeds it, the first commands and
    // the first run follow. Returns once the channel has been quiet for a second, the recorder
    // emptied.
    bool captureViewerWindow(zalDbUnrealRenderSession* session, std::uint64_t handle = 0x5a10)
    {
        recorder->simulateWindowHandle(handle);
        if (!waitFor([&] { return session->widget() && session->widget()->viewerWindow() != 0; }))
            return false;
        int seen = -1;
        while (seen != recorder->lines().size()) {
            seen = recorder->lines().size();
            spin(1000);
        }
        recorder->clear();
        return true;
    }

    // Console commands and sun placements in the order sent; a sun placement reads
    // "setSunByPos northOffset=100 azimuth=30 elevation=40".
    QStringList sent() const
    {
        QStringList out;
        if (!recorder) return out;
        const QString console = QStringLiteral("sendConsoleCommand command=\"");
        for (const QString& line : recorder->lines()) {
            if (line.startsWith(console) && line.endsWith('"'))
                out << unescape(line.mid(console.size(), line.size() - console.size() - 1));
            else if (line.startsWith(QLatin1String("setSunByPos ")))
                out << line;
        }
        return out;
    }

    static QString unescape(const QString& text)
    {
        QString out;
        for (int i = 0; i < text.size(); ++i) {
            QChar c = text.at(i);
            if (c == '\\' && i + 1 < text.size()) {
                const QChar n = text.at(++i);
                c = n == 'n' ? QChar('\n') : n == 't' ? QChar('\t') : n == 'r' ? QChar('\r') : n;
            }
            out += c;
        }
        return out;
    }

    XoRecordingMessagesManager* recorder = nullptr;
};
