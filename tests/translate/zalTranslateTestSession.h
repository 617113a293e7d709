#pragma once

// The module's host for translation tests: one drawing open, the channel's calls read back as records.

#include "tests/common/zalModuleTestHost.h"

#include "tests/common/zalRecordedCall.h"
#include "translate/zalUnrealRenderView.h"

#include <cstdio>

class zalTranslateSessionTest : public zalModuleTestHost
{
protected:
    void TearDown() override
    {
        // For reading a failure: ZAL_PRINT_CALLS=1 prints what the channel carried.
        if (recorder && qEnvironmentVariableIsSet("ZAL_PRINT_CALLS")) {
            for (const QString& line : recorder->lines())
                std::printf("%s\n", line.left(300).toUtf8().constData());
        }
        zalModuleTestHost::TearDown();
    }

    // Opens db in an "UnrealRender" view as the current drawing; with the recording transport the
    // viewer is played as started and its window reported, so the session is ready to translate.
    zalDbUnrealRenderSession* openDrawing(OdDbDatabase* db)
    {
        const Opened o = open(db);
        if (!o.session || !o.recorder) return o.session;
        recorder = o.recorder;
        startViewer(o);
        recorder->simulateWindowHandle(0x4a00011);
        waitFor([&] { return o.session->viewerWindowHandle() != nullptr; });
        return o.session;
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

    static QString id(const OdDbObjectId& objectId) { return name(objectId); }

    XoRecordingMessagesManager* recorder = nullptr;
};
