#pragma once

// The reference host with the render module loaded by name, for tests of the module's sessions.
// Drawings open in "UnrealRender" views; with the recording transport (the default) each session's
// viewer channel is an XoRecordingMessagesManager that plays the viewer, otherwise the real socket to a
// real zalViewer process.

#include "module/QUnrealDbRenderWidget.h"
#include "module/zalDbUnrealRenderSession.h"
#include "module/zalSessionRegistry.h"
#include "module/zalUnrealRenderModule.h"
#include "module/zalUnrealViewerSender.h"
#include "translate/zalViewerNames.h"

#include "zalHostAppProps.h"
#include "zalHostApplication.h"
#include "zalHostConsole.h"
#include "zalHostPhysicsMaterials.h"
#include "zalHostView.h"
#include "zalHostViewSystem.h"

#include "XoRecordingMessagesManager.h"
#include "XoRemoteRenderSender.h"

#include "DbBlockTableRecord.h"
#include "DbDatabase.h"
#include "DbLayerTable.h"
#include "DbLayerTableRecord.h"
#include "DbViewportTableRecord.h"
#include "OdVariant.h"
#include "RxDynamicLinker.h"
#include "gs/DbFace.h"

#include "tests/common/zalEventLoop.h"
#include "tests/common/zalRecordedCall.h"
#include "tests/common/zalTestHost.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>

// Readable strings in test failures.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

class zalModuleTestHost : public ::testing::Test
{
protected:
    // One drawing in one view, and the transport of its session's viewer channel.
    struct Opened
    {
        zalHostView* view = nullptr;
        zalDbUnrealRenderSession* session = nullptr;
        QUnrealDbRenderWidget* widget = nullptr;
        XoRecordingMessagesManager* recorder = nullptr; // null on the real socket
    };

    void SetUp() override { startHost(useRecordingTransport); }

    void TearDown() override
    {
        closeViews();
        odrxDynamicLinker()->unloadModule(kModule);
        XoRemoteRenderSender::setDefaultTransportFactory(XoRemoteRenderSender::TransportFactory());
        host.reset();
    }

    // Starts the host (tests/common/zalTestHost.h: its files in the temporary folder, the services
    // asked for) and loads the module; with `recording`, every new viewer channel is a recording
    // transport, kept in `transports`.
    void startHost(bool recording, int services = zalHostOptions::AllServices)
    {
        ASSERT_TRUE(dir.isValid());
        host = zalTestHost::make(zalTestHost::options(dir, services));
        if (recording) recordChannels();
        ASSERT_NO_FATAL_FAILURE(loadModule());
    }

    void recordChannels()
    {
        XoRemoteRenderSender::setDefaultTransportFactory([this] {
            auto transport = std::make_unique<XoRecordingMessagesManager>();
            transports << transport.get();
            return std::unique_ptr<XoInterProcessMessagesManager>(std::move(transport));
        });
    }

    void loadModule()
    {
        OdRxModulePtr loaded = odrxDynamicLinker()->loadModule(kModule);
        ASSERT_FALSE(loaded.isNull()) << odrxDynamicLinker()->lastError().toUtf8();
        module = qobject_cast<zalUnrealRenderModule*>(host->service(IzalUnrealRenderModule_id));
        ASSERT_NE(module, nullptr);
    }

    void closeViews()
    {
        if (!host) return;
        for (zalHostView* view : host->viewSystem()->views())
            host->viewSystem()->closeView(view);
        QCoreApplication::processEvents();
    }

    // Opens db in an "UnrealRender" view as the current drawing.
    Opened open(OdDbDatabase* db)
    {
        Opened o;
        if (!host->documents().contains(db)) host->addDocument(db);
        host->console()->setCurrentDatabase(db);
        const int before = transports.size();
        o.view = host->viewSystem()->openView("UnrealRender", db);
        EXPECT_NE(o.view, nullptr);
        o.widget = o.view ? qobject_cast<QUnrealDbRenderWidget*>(o.view->widget()) : nullptr;
        o.session = zalSessionRegistry::instance().sessionFor(db);
        EXPECT_NE(o.session, nullptr);
        if (transports.size() == before + 1) o.recorder = transports.last();
        return o;
    }

    // The recorder plays the viewer announcing itself; waits until the sender asked for its window.
    void startViewer(const Opened& o)
    {
        ASSERT_NE(o.recorder, nullptr);
        o.recorder->simulateViewerStarted();
        ASSERT_TRUE(waitFor([&] { return !o.recorder->lines("getWindowHandle").isEmpty(); }));
        ASSERT_TRUE(o.session->sender() && o.session->sender()->isViewerStarted());
    }

    // Shows the widget, starts the viewer, hands over its window and waits until the start-up batches
    // are closed.
    void bringUp(const Opened& o, std::uint64_t handle = 0x4200001)
    {
        o.widget->show();
        ASSERT_NO_FATAL_FAILURE(startViewer(o));
        o.recorder->simulateWindowHandle(handle);
        ASSERT_TRUE(waitFor([&] { return o.widget->viewerWindow() == WId(handle); }));
        // The lazy initialisation and the first run close one batch each (a drawing without usable
        // extents closes its first batch without a refresh).
        ASSERT_TRUE(waitFor(
            [&] { return o.session->registry().batchDepth() == 0 && !o.session->registry().isBatchOpen(); }));
    }

    // On the real socket: opens db in a shown 480 x 320 view, starts the zalViewer process and waits
    // until it holds the first refresh.
    // Shows an opened drawing's widget and waits until its viewer has started, its window is embedded
    // and the start-up batches are closed.
    static void showInRealViewer(const Opened& o, QSize size = QSize(480, 320))
    {
        const int kViewerTimeoutMs = 60000;
        o.widget->resize(size);
        o.widget->show();
        ASSERT_TRUE(waitFor([&] { return o.session->sender() && o.session->sender()->isViewerStarted(); },
                            kViewerTimeoutMs));
        ASSERT_TRUE(waitFor([&] { return o.widget->viewerWindow() != 0; }, kViewerTimeoutMs));
        ASSERT_TRUE(waitFor(
            [&] { return o.session->registry().batchDepth() == 0 && !o.session->registry().isBatchOpen(); },
            kViewerTimeoutMs));
    }

    void openInRealViewer(OdDbDatabase* db, zalDbUnrealRenderSession*& session)
    {
        const Opened o = open(db);
        ASSERT_NE(o.view, nullptr);
        session = o.session;
        ASSERT_NE(session, nullptr);
        ASSERT_NE(session->sender(), nullptr);
        if (QWidget* widget = o.view->widget()) {
            widget->resize(480, 320);
            widget->show();
        }
        if (!session->sender()->isProcessRunning()) session->sender()->startViewer(0, 0, 480, 320);
        ASSERT_TRUE(waitFor([&] { return session->sender() && session->sender()->isViewerStarted(); }, 60000))
            << "the viewer did not start";
        ASSERT_TRUE(
            waitFor([&] { return session->widget() && session->widget()->viewerWindow() != 0; }, 30000))
            << "the viewer window was not embedded";
        ASSERT_TRUE(waitFor([&] { return !session->isFirstRunPending(); }, 30000)) << "no first refresh";
        ASSERT_TRUE(waitFor([&] { return session->registry().batchDepth() == 0; }, 10000));
    }

    // Asks the session's viewer process to end and waits until it has: one still closing when the
    // test ends loses its X server under it, and Qt leaves a broken display connection unclosed.
    static void stopRealViewer(zalDbUnrealRenderSession* session)
    {
        if (!session || !session->sender() || !session->sender()->isProcessRunning()) return;
        session->sender()->requestRenderExit();
        waitFor([&] { return !session->sender() || !session->sender()->isProcessRunning(); }, 90000);
    }

    // A drawing in metres; with geometry, one 3D face of 10 x 10 units in model space (the session
    // refreshes only drawings with usable extents).
    static OdDbDatabasePtr newDrawing(bool withGeometry = true)
    {
        OdDbDatabasePtr db = OdDbDatabase::createObject();
        db->setINSUNITS(OdDb::kUnitsMeters);
        if (withGeometry) addFace(db, 0.0);
        return db;
    }

    static OdDbObjectId addFace(OdDbDatabase* db, double z)
    {
        OdDbBlockTableRecordPtr modelSpace = db->getModelSpaceId().safeOpenObject(OdDb::kForWrite);
        OdDbFacePtr face = OdDbFace::createObject();
        face->setDatabaseDefaults(db);
        face->setVertexAt(0, OdGePoint3d(0, 0, z));
        face->setVertexAt(1, OdGePoint3d(10, 0, z));
        face->setVertexAt(2, OdGePoint3d(10, 10, z));
        face->setVertexAt(3, OdGePoint3d(0, 10, z));
        return modelSpace->appendOdDbEntity(face);
    }

    // A new layer, turned off with `off`.
    static OdDbObjectId addLayer(OdDbDatabase* db, const wchar_t* layerName, bool off = false)
    {
        OdDbLayerTablePtr layers = db->getLayerTableId().safeOpenObject(OdDb::kForWrite);
        OdDbLayerTableRecordPtr record = OdDbLayerTableRecord::createObject();
        record->setName(OdString(layerName));
        record->setIsOff(off);
        return layers->add(record);
    }

    static void putOnLayer(const OdDbObjectId& entity, const OdDbObjectId& layer)
    {
        OdDbEntityPtr opened = entity.safeOpenObject(OdDb::kForWrite);
        opened->setLayer(layer);
    }

    static QString name(const OdDbObjectId& id) { return zalViewerNames::ofId(id); }

    void setVariable(const char* key, int value)
    {
        host->appProps()->createVariable(OdString(QString(key).toStdWString().c_str()),
                                         OdVariant(OdInt32(value)), OdString(L"int"));
    }

    // A field of a recorded line, a quoted string unquoted.
    static QString field(const QString& line, const QString& name)
    {
        return zalRecordedCall::parse(line)[name];
    }

    // The numbers of a float array field ("aim=[1,2,3]") of a recorded line.
    static QVector<double> floats(const QString& line, const QString& name)
    {
        return zalRecordedCall::parse(line).numbers(name);
    }

    // The real viewer's own account of what it holds after everything sent so far: its scene dump,
    // asked for through the session's sender.
    QJsonObject viewerScene(zalDbUnrealRenderSession* session, int timeoutMs = 30000)
    {
        const QString path = dir.filePath(QStringLiteral("dumps/scene %1.json").arg(++sceneDumps));
        if (!session || !session->sender()) {
            ADD_FAILURE() << "no viewer to ask for its scene";
            return QJsonObject();
        }
        session->sender()->sendConsoleCommand(QStringLiteral("zal.DumpScene \"%1\"").arg(path));
        EXPECT_TRUE(waitFor([&] { return QFileInfo::exists(path); }, timeoutMs))
            << "no scene dump " << path.toStdString();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return QJsonObject();
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    // Recorded lines of one operation whose "name" field is name.
    static QStringList linesNamed(const XoRecordingMessagesManager* recorder, const QString& operation,
                                  const QString& name)
    {
        QStringList found;
        for (const QString& line : recorder->lines(operation))
            if (field(line, "name") == name) found << line;
        return found;
    }

    // The index of the first line from `from` on that starts with prefix; -1 when none.
    static int indexOf(const QStringList& lines, const QString& prefix, int from = 0)
    {
        for (int i = from; i < lines.size(); ++i)
            if (lines.at(i).startsWith(prefix)) return i;
        return -1;
    }

    static int count(const QStringList& lines, const QString& prefix)
    {
        int n = 0;
        for (const QString& line : lines)
            n += line.startsWith(prefix) ? 1 : 0;
        return n;
    }

    inline static const OdString kModule{L"zalUnrealRenderModule.dll"};

    // Tests with the real viewer turn the recording transport off before SetUp.
    bool useRecordingTransport = true;
    QTemporaryDir dir;
    std::unique_ptr<zalHostApplication> host;
    zalUnrealRenderModule* module = nullptr;
    QList<XoRecordingMessagesManager*> transports;
    int sceneDumps = 0;
};
