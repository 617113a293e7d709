#pragma once

// A reference host with the render module loaded by name, one drawing open in an "UnrealRender"
// view, and the session's viewer channel on a recording transport that plays a started viewer.

#include "module/zalDbUnrealRenderSession.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "widget/QUnrealDbRenderWidget.h"

#include "zalHostAppProps.h"
#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostProjectManager.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbDatabase.h"
#include "OdVariant.h"
#include "RxDynamicLinker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <cstdint>
#include <functional>
#include <memory>

class zalSettingsSessionTest : public ::testing::Test
{
protected:
    // Starts the host and loads the module; the drawing is opened by openDrawing.
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        zalHostOptions options;
        options.variablesFile = dir.filePath("vars.ini");
        options.temporaryRoot = dir.filePath("projects");
        options.materialLibraryRoot = dir.filePath("materials");
        host.reset(new zalHostApplication(argc, argv, options));
        if (recording) {
            XoRemoteRenderSender::setDefaultTransportFactory([this] {
                auto transport = std::make_unique<XoRecordingMessagesManager>();
                transports << transport.get();
                return std::unique_ptr<XoInterProcessMessagesManager>(std::move(transport));
            });
        }
        OdRxModulePtr loaded = odrxDynamicLinker()->loadModule(kModule);
        ASSERT_FALSE(loaded.isNull())
            << QString::fromStdWString(odrxDynamicLinker()->lastError().c_str()).toStdString();
        module = zalUnrealRenderModule::instance();
        ASSERT_NE(module, nullptr);
    }

    void TearDown() override
    {
        if (host) {
            for (zalHostView* view : host->viewSystem()->views())
                host->viewSystem()->closeView(view);
            QCoreApplication::processEvents();
        }
        odrxDynamicLinker()->unloadModule(kModule);
        XoRemoteRenderSender::setDefaultTransportFactory(XoRemoteRenderSender::TransportFactory());
        host.reset();
    }

    // Opens db in an "UnrealRender" view, makes it the current drawing and lets its viewer start.
    // The recorder then holds nothing: what a test reads is what happened after this.
    zalDbUnrealRenderSession* openDrawing(OdDbDatabase* db, bool startViewer = true)
    {
        if (!host->documents().contains(db)) host->addDocument(db);
        host->console()->setCurrentDatabase(db);
        const int before = transports.size();
        zalHostView* view = host->viewSystem()->openView("UnrealRender", db);
        EXPECT_NE(view, nullptr);
        zalDbUnrealRenderSession* session = zalUnrealRenderModule::sessionFor(db);
        EXPECT_NE(session, nullptr);
        EXPECT_EQ(transports.size(), before + 1);
        if (!session || transports.size() != before + 1) return session;
        recorder = transports.last();
        if (startViewer) {
            recorder->simulateViewerStarted();
            waitFor([&] { return session->sender() && session->sender()->isViewerStarted(); });
            EXPECT_TRUE(session->sender()->isViewerStarted());
        }
        recorder->clear();
        return session;
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

    // Runs the event loop until done() holds or ten seconds have passed; done()'s last answer.
    static bool waitFor(const std::function<bool()>& done, int milliseconds = 10000)
    {
        QDeadlineTimer deadline(milliseconds);
        while (!done()) {
            if (deadline.hasExpired()) return done();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return true;
    }

    // Runs the event loop for a while (for things that must NOT happen).
    static void spin(int milliseconds)
    {
        QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
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

    void setVariable(const char* key, int value)
    {
        host->appProps()->createVariable(OdString(QString(key).toStdWString().c_str()),
                                         OdVariant(OdInt32(value)), OdString(L"int"));
    }

    inline static const OdString kModule{L"zalUnrealRenderModule.dll"};

    // False: the sessions talk to real viewer processes over the socket transport.
    bool recording = true;

    QTemporaryDir dir;
    int argc = 1;
    char arg0[16] = "settings_test";
    char* argv[2] = {arg0, nullptr};
    std::unique_ptr<zalHostApplication> host;
    zalUnrealRenderModule* module = nullptr;
    QList<XoRecordingMessagesManager*> transports;
    XoRecordingMessagesManager* recorder = nullptr;
};
