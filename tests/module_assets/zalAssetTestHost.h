#pragma once

// A reference host with the render module loaded by name and its material library in a temporary
// folder. Drawings open in "UnrealRender" views whose viewer channel runs on a recording transport
// that plays the viewer.

#include "module/zalDbUnrealRenderSession.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "widget/QUnrealDbRenderWidget.h"

#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostPhysicsMaterials.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "RxDynamicLinker.h"
#include "gs/DbFace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <functional>
#include <memory>

class zalAssetTestHost : public ::testing::Test
{
protected:
    struct Opened
    {
        zalHostView* view = nullptr;
        zalDbUnrealRenderSession* session = nullptr;
        QUnrealDbRenderWidget* widget = nullptr;
        XoRecordingMessagesManager* recorder = nullptr;
    };

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        zalHostOptions options;
        options.variablesFile = dir.filePath("vars.ini");
        options.temporaryRoot = dir.filePath("projects");
        options.materialLibraryRoot = dir.filePath("materials");
        host.reset(new zalHostApplication(argc, argv, options));
        if (useRecordingTransport) {
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

    // A drawing in metres with one 3D face: the session refreshes only drawings with usable extents.
    static OdDbDatabasePtr newDrawing()
    {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        db->setINSUNITS(OdDb::kUnitsMeters);
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        OdDbFacePtr face = OdDbFace::createObject();
        face->setDatabaseDefaults(db);
        face->setVertexAt(0, OdGePoint3d(0, 0, 0));
        face->setVertexAt(1, OdGePoint3d(10, 0, 0));
        face->setVertexAt(2, OdGePoint3d(10, 10, 0));
        face->setVertexAt(3, OdGePoint3d(0, 10, 0));
        modelSpace->appendOdDbEntity(face);
        return db;
    }

    static QString name(const OdDbObjectId& id) { return zalUnrealRenderModule::objectId2String(id); }

    Opened open(OdDbDatabase* db)
    {
        Opened o;
        if (!host->documents().contains(db)) host->addDocument(db);
        host->console()->setCurrentDatabase(db);
        const int before = transports.size();
        o.view = host->viewSystem()->openView("UnrealRender", db);
        EXPECT_NE(o.view, nullptr);
        o.widget = o.view ? qobject_cast<QUnrealDbRenderWidget*>(o.view->widget()) : nullptr;
        o.session = zalUnrealRenderModule::sessionFor(db);
        if (transports.size() == before + 1) o.recorder = transports.last();
        return o;
    }

    // Shows the widget, starts the viewer, hands over its window and waits until the first run is over.
    void bringUp(const Opened& o, std::uint64_t handle = 0x4200001)
    {
        ASSERT_NE(o.recorder, nullptr);
        o.widget->show();
        o.recorder->simulateViewerStarted();
        ASSERT_TRUE(waitFor([&] { return !o.recorder->lines("getWindowHandle").isEmpty(); }));
        o.recorder->simulateWindowHandle(handle);
        ASSERT_TRUE(waitFor([&] { return o.widget->viewerWindow() == WId(handle); }));
        ASSERT_TRUE(waitFor([&] {
            return !o.session->isFirstRunPending() && o.session->drawDepth == 0 && !o.session->drawingOpen;
        }));
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

    // Lines of one operation whose "name" field is name.
    static QStringList linesNamed(const XoRecordingMessagesManager* recorder, const QString& operation,
                                  const QString& name)
    {
        QStringList found;
        for (const QString& line : recorder->lines(operation))
            if (field(line, "name") == name) found << line;
        return found;
    }

    static QString field(const QString& line, const QString& field)
    {
        const QRegularExpression pattern(QStringLiteral("\\b%1=(\"(?:[^\"\\\\]|\\\\.)*\"|\\S+)").arg(field));
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch()) return QString();
        QString value = match.captured(1);
        if (value.startsWith('"')) value = value.mid(1, value.size() - 2).replace("\\\"", "\"");
        return value;
    }

    static QVector<double> floats(const QString& line, const QString& field)
    {
        QVector<double> values;
        const QRegularExpression pattern(QStringLiteral("\\b%1=\\[([^\\]]*)\\]").arg(field));
        const QRegularExpressionMatch match = pattern.match(line);
        if (!match.hasMatch()) return values;
        for (const QString& part : match.captured(1).split(',', Qt::SkipEmptyParts))
            values << part.toDouble();
        return values;
    }

    inline static const OdString kModule{L"zalUnrealRenderModule.dll"};

    // Tests with the real viewer turn the recording transport off before SetUp.
    bool useRecordingTransport = true;

    QTemporaryDir dir;
    int argc = 1;
    char arg0[16] = "assets_test";
    char* argv[2] = {arg0, nullptr};
    std::unique_ptr<zalHostApplication> host;
    zalUnrealRenderModule* module = nullptr;
    QList<XoRecordingMessagesManager*> transports;
};
