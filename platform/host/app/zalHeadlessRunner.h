#pragma once

#include "zalAppOptions.h"

#include "DbDatabase.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class zalDocumentManager;
class zalHostApplication;
class zalHostMainWindow;
class zalViewerProcessWatch;

// The headless run of the host: open the drawing, let the render view reach the viewer, wait for
// the first synchronisation, run the script, write the viewer's scene dump and the exported image.
// Each failure ends the run with one line naming its cause and a non-zero code:
// 2 input files, 3 render module or viewer, 4 script, 5 export or time-out.
class zalHeadlessRunner : public QObject
{
    Q_OBJECT
public:
    // drawing: the file of options.openFile, already imported (null: the runner opens it).
    zalHeadlessRunner(zalHostApplication* app, zalDocumentManager* documents, zalHostMainWindow* window,
                      const zalAppOptions& options, OdDbDatabase* drawing = nullptr,
                      QObject* parent = nullptr);

    void start();
    int exitCode() const { return m_code; }
    QString message() const { return m_message; }
    bool isFinished() const { return m_stage == Stage::Done; }

signals:
    void finished(int code);

private:
    enum class Stage
    {
        Starting,
        WaitingForSync,
        Settling,
        Dumping,
        Exporting,
        Done
    };

    void fail(int code, const QString& message);
    void succeed();
    void synchronised();
    void runScript();
    void afterEdits();
    // Runs next once the viewer has applied all that was sent (looked at every 20 ms).
    void whenViewerUpToDate(void (zalHeadlessRunner::*next)());
    void startDump();
    void startExport();
    void startFrames();
    void poll();
    QString stageText() const;

    zalHostApplication* m_app;
    zalDocumentManager* m_documents;
    QPointer<zalHostMainWindow> m_window;
    zalAppOptions m_options;
    Stage m_stage = Stage::Starting;
    int m_code = 0;
    QString m_message;
    QString m_script;
    QString m_scriptError;
    QTimer m_poll;
    QTimer m_settle;
    QElapsedTimer m_settleStarted;
    void (zalHeadlessRunner::*m_afterSettle)() = nullptr;
    QTimer m_timeout;
    // A viewer that ends or stops ends the run at once, with that cause.
    zalViewerProcessWatch* m_viewers;
    qint64 m_lastSize = -1;
    QString m_dumpPath;
    QString m_imagePath;
    OdDbDatabasePtr m_drawing;
};
