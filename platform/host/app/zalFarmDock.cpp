#include "zalFarmDock.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

zalFarmDock::zalFarmDock(const zalFarmJob::Request& request, QWidget* parent)
    : QDockWidget(tr("Render farm"), parent), m_job(new zalFarmJob(request, this))
{
    setObjectName(QStringLiteral("farmDock"));
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    m_status = new QLabel(tr("Frames %1-%2 into %3")
                              .arg(request.frames.first)
                              .arg(request.frames.last)
                              .arg(request.frames.outFolder),
                          content);
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(content);
    m_progress->setRange(0, m_job->framesTotal());
    m_progress->setValue(0);
    m_progress->setFormat(tr("%v of %m frames"));
    m_tasks = new QTableWidget(0, 4, content);
    m_tasks->setHorizontalHeaderLabels({tr("Task"), tr("Frames"), tr("State"), tr("Attempts")});
    m_tasks->horizontalHeader()->setStretchLastSection(true);
    m_tasks->verticalHeader()->hide();
    m_tasks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_log = new QPlainTextEdit(content);
    m_log->setReadOnly(true);
    m_cancel = new QPushButton(tr("Cancel job"), content);
    layout->addWidget(m_status);
    layout->addWidget(m_progress);
    layout->addWidget(m_tasks, 1);
    layout->addWidget(m_log, 1);
    layout->addWidget(m_cancel);
    setWidget(content);

    connect(m_cancel, &QPushButton::clicked, m_job, &zalFarmJob::cancel);
    connect(m_job, &zalFarmJob::progress, this, [this](const QString& line) {
        append(line);
        refresh();
    });
    connect(m_job, &zalFarmJob::finished, this, [this](int code, const QString& message) {
        append(message);
        refresh();
        m_finished = true;
        m_code = code;
        m_cancel->setEnabled(false);
        m_status->setText(code == 0 ? tr("Done: %1").arg(message.section(QLatin1Char('\n'), 0, 0))
                                    : tr("Failed: %1").arg(message.section(QLatin1Char('\n'), 0, 0)));
        emit finished(code);
    });
    refresh();
}

void zalFarmDock::start()
{
    m_job->start();
}

void zalFarmDock::append(const QString& line)
{
    m_log->appendPlainText(line);
}

void zalFarmDock::refresh()
{
    m_progress->setValue(m_job->framesDone());
    const QList<zalFarmJob::Task>& tasks = m_job->tasks();
    m_tasks->setRowCount(tasks.size());
    for (int row = 0; row < tasks.size(); ++row) {
        const zalFarmJob::Task& t = tasks[row];
        const QStringList cells = {QString::number(t.index), QStringLiteral("%1-%2").arg(t.first).arg(t.last),
                                   t.state.isEmpty() ? tr("not submitted") : t.state,
                                   QString::number(t.attempts)};
        for (int column = 0; column < cells.size(); ++column) {
            QTableWidgetItem* item = m_tasks->item(row, column);
            if (!item) m_tasks->setItem(row, column, item = new QTableWidgetItem);
            item->setText(cells[column]);
        }
    }
    if (!m_finished && !m_job->jobId().isEmpty())
        m_status->setText(tr("Slurm job %1: %2 of %3 frames")
                              .arg(m_job->jobId())
                              .arg(m_job->framesDone())
                              .arg(m_job->framesTotal()));
}
