#pragma once

#include "zalFrameOptions.h"

#include <QMap>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>

// An animation rendered by Slurm: the frame range cut into chunks, one array task per chunk, each a
// headless zalhost run (with its own Xvfb when its node has no display). The job is followed with
// squeue, its tasks' end states read with sacct (scontrol where accounting is off), every frame
// checked as a PNG of the asked size, failed tasks resubmitted once and then reported with their
// logs. The drawing, its project folder, FOLDER and zalhost itself must be on paths every node sees.
class zalFarmJob : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QString zalhost; // the executable the tasks run
        QString drawing; // absolute path
        QSize size;
        int timeoutSeconds = 120;
        zalFrameOptions frames;
    };

    struct Task
    {
        int index = 0;
        int first = 0, last = 0;
        QString state;    // Slurm's word: PENDING, RUNNING, COMPLETED, FAILED, ...
        QString exitCode; // "code:signal" once known
        QString log;
        int attempts = 0;
    };

    explicit zalFarmJob(const Request& request, QObject* parent = nullptr);
    ~zalFarmJob() override;

    // Frames per task when --chunk is not given.
    static constexpr int kDefaultChunk = 10;
    // The tasks a range is cut into (chunk 0: the default).
    static QList<Task> chunks(int first, int last, int chunk);

    void start();
    // Cancels the job (scancel) and ends with code 130.
    void cancel();

    QString jobId() const { return m_jobId; }
    const QList<Task>& tasks() const { return m_tasks; }
    int framesDone() const;
    int framesTotal() const { return m_request.frames.count(); }
    QString workFolder() const { return m_work; }

    // FOLDER/frames_FIRST-LAST.mp4: made by ffmpeg, when it is installed, once every frame is there.
    QString videoPath() const;

    // True when file is a PNG of size that decodes completely.
    static bool isValidFrame(const QString& file, QSize size);

signals:
    void progress(const QString& line);
    void finished(int code, const QString& message);

private:
    bool writeScript(QString& error);
    bool submit(const QList<int>& indices);
    void poll();
    bool readEndStates();
    void checkEnd();
    void encodeVideo();
    void finish(int code, const QString& message);
    QString frameProblem(const Task& task) const;
    QString progressLine() const;

    Request m_request;
    QString m_work, m_script;
    QString m_jobId;
    QList<Task> m_tasks;
    QList<int> m_active; // tasks of the job being followed
    int m_resubmissions = 0;
    int m_squeueFailures = 0;
    QString m_lastProgress;
    QTimer m_poll;
    bool m_done = false;
};
