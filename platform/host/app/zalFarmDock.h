#pragma once

#include "zalFarmJob.h"

#include <QDockWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

// The "Render farm" dock: one farm job's progress (frames done of total, each task's frames, state
// and attempts), its messages and final report, and a Cancel button that cancels the job. Owns its
// job; the window it is docked in owns the dock.
class zalFarmDock : public QDockWidget
{
    Q_OBJECT
public:
    explicit zalFarmDock(const zalFarmJob::Request& request, QWidget* parent = nullptr);

    void start();
    zalFarmJob* job() const { return m_job; }
    bool isFinished() const { return m_finished; }
    int exitCode() const { return m_code; }

signals:
    void finished(int code);

private:
    void refresh();
    void append(const QString& line);

    zalFarmJob* m_job;
    QProgressBar* m_progress;
    QLabel* m_status;
    QTableWidget* m_tasks;
    QPlainTextEdit* m_log;
    QPushButton* m_cancel;
    bool m_finished = false;
    int m_code = -1;
};
