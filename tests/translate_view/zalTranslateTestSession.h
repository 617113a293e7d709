#pragma once

// The reference host with the render module loaded by name and one drawing open in an "UnrealRender"
// view whose viewer channel is either the recording transport (a viewer played by the test) or the
// real socket to a real zalViewer process.

#include "module/zalDbUnrealRenderSession.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "translate/zalUnrealRenderView.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbDatabase.h"
#include "RxDynamicLinker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <functional>
#include <memory>

// One recorded channel call, its fields by name; strings unquoted, arrays as their text "[a,b,...]".
struct zalRecordedCall
{
    QString operation;
    QMap<QString, QString> fields;
    QString operator[](const QString& field) const { return fields.value(field); }

    static zalRecordedCall parse(const QString& line)
    {
        zalRecordedCall call;
        int i = line.indexOf(QLatin1Char(' '));
        call.operation = i < 0 ? line : line.left(i);
        while (i >= 0 && i < line.size()) {
            while (i < line.size() && line[i] == QLatin1Char(' '))
                ++i;
            const int eq = line.indexOf(QLatin1Char('='), i);
            if (eq < 0) break;
            const QString key = line.mid(i, eq - i);
            int j = eq + 1;
            QString value;
            if (j < line.size() && line[j] == QLatin1Char('"')) {
                ++j;
                while (j < line.size() && line[j] != QLatin1Char('"')) {
                    if (line[j] == QLatin1Char('\\') && j + 1 < line.size()) ++j;
                    value += line[j++];
                }
                ++j;
            } else if (j < line.size() && line[j] == QLatin1Char('[')) {
                const int close = line.indexOf(QLatin1Char(']'), j);
                value = line.mid(j, close - j + 1);
                j = close + 1;
            } else {
                const int end = line.indexOf(QLatin1Char(' '), j);
                value = line.mid(j, end < 0 ? -1 : end - j);
                j = end < 0 ? line.size() : end;
            }
            call.fields.insert(key, value);
            i = j;
        }
        return call;
    }

    QVector<double> numbers(const QString& field) const
    {
        QVector<double> out;
        QString text = fields.value(field);
        text.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        if (text.isEmpty()) return out;
        for (const QString& part : text.split(QLatin1Char(',')))
            out << part.toDouble();
        return out;
    }
};

class zalTranslateSessionTest : public ::testing::Test
{
protected:
    // recording: the channel is the recording transport; otherwise the real socket.
    void startHost(bool recording)
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
        ASSERT_FALSE(loaded.isNull()) << odrxDynamicLinker()->lastError().toUtf8();
    }

    void TearDown() override
    {
        // For reading a failure: ZAL_PRINT_CALLS=1 prints what the channel carried.
        if (recorder && qEnvironmentVariableIsSet("ZAL_PRINT_CALLS")) {
            for (const QString& line : recorder->lines())
                std::printf("%s\n", line.left(300).toUtf8().constData());
        }
        if (host) {
            for (zalHostView* view : host->viewSystem()->views())
                host->viewSystem()->closeView(view);
            QCoreApplication::processEvents();
        }
        odrxDynamicLinker()->unloadModule(kModule);
        XoRemoteRenderSender::setDefaultTransportFactory(XoRemoteRenderSender::TransportFactory());
        host.reset();
    }

    // Opens db in an "UnrealRender" view as the current drawing; with the recording transport the
    // viewer is played as started and its window reported, so the session is ready to translate.
    zalDbUnrealRenderSession* openDrawing(OdDbDatabase* db)
    {
        if (!host->documents().contains(db)) host->addDocument(db);
        host->console()->setCurrentDatabase(db);
        const int before = transports.size();
        zalHostView* view = host->viewSystem()->openView("UnrealRender", db);
        EXPECT_NE(view, nullptr);
        zalDbUnrealRenderSession* session = zalUnrealRenderModule::sessionFor(db);
        EXPECT_NE(session, nullptr);
        if (!session || transports.size() != before + 1) return session;
        recorder = transports.last();
        recorder->simulateViewerStarted();
        waitFor([&] { return session->sender() && session->sender()->isViewerStarted(); });
        EXPECT_TRUE(session->sender()->isViewerStarted());
        recorder->simulateWindowHandle(0x4a00011);
        waitFor([&] { return session->viewerWindowHandle() != nullptr; });
        return session;
    }

    QList<zalRecordedCall> calls(const QString& operation = QString()) const
    {
        QList<zalRecordedCall> out;
        if (!recorder) return out;
        for (const QString& line : recorder->lines()) {
            zalRecordedCall call = zalRecordedCall::parse(line);
            if (operation.isEmpty() || call.operation == operation) out << call;
        }
        return out;
    }

    QStringList operations() const
    {
        QStringList out;
        for (const zalRecordedCall& c : calls())
            out << c.operation;
        return out;
    }

    static QString id(const OdDbObjectId& objectId)
    {
        return zalUnrealRenderModule::objectId2String(objectId);
    }

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

    inline static const OdString kModule{L"zalUnrealRenderModule.dll"};

    QTemporaryDir dir;
    int argc = 1;
    char arg0[16] = "translate_test";
    char* argv[2] = {arg0, nullptr};
    std::unique_ptr<zalHostApplication> host;
    QList<XoRecordingMessagesManager*> transports;
    XoRecordingMessagesManager* recorder = nullptr;
};
