#include "zalFarmJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

namespace {

struct Run
{
    int code = -1; // -1: could not be started or did not end
    QString out, err;
};

// Slurm's commands answer within seconds; a longer wait means the controller is gone.
Run run(const QString& program, const QStringList& arguments, int timeoutMs = 30000)
{
    QProcess p;
    p.start(program, arguments);
    Run r;
    if (!p.waitForStarted(timeoutMs)) {
        r.err = QStringLiteral("%1 cannot be run (%2)").arg(program, p.errorString());
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("%1 did not answer within %2 s").arg(program).arg(timeoutMs / 1000);
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return r;
}

QString shellQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool isEnded(const QString& state)
{
    static const QSet<QString> running = {"PENDING",  "CONFIGURING", "RUNNING",   "COMPLETING", "REQUEUED",
                                          "RESIZING", "SUSPENDED",   "STAGE_OUT", "SIGNALING",  ""};
    return !running.contains(state);
}

QString tail(const QString& file, int lines)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return QStringLiteral("    (no log: %1)").arg(file);
    QStringList all = QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'));
    while (!all.isEmpty() && all.last().trimmed().isEmpty())
        all.removeLast();
    if (all.size() > lines) all = all.mid(all.size() - lines);
    for (QString& line : all)
        line.prepend(QLatin1String("    | "));
    return all.join(QLatin1Char('\n'));
}

} // namespace

zalFarmJob::zalFarmJob(const Request& request, QObject* parent) : QObject(parent), m_request(request)
{
    m_work = QDir(m_request.frames.outFolder).filePath(QStringLiteral(".zalfarm"));
    m_script = QDir(m_work).filePath(QStringLiteral("frames.sh"));
    m_tasks = chunks(m_request.frames.first, m_request.frames.last, m_request.frames.chunk);
    m_poll.setInterval(2000);
    connect(&m_poll, &QTimer::timeout, this, &zalFarmJob::poll);
}

zalFarmJob::~zalFarmJob() = default;

QList<zalFarmJob::Task> zalFarmJob::chunks(int first, int last, int chunk)
{
    if (chunk <= 0) chunk = kDefaultChunk;
    QList<Task> tasks;
    for (int from = first; from <= last; from += chunk) {
        Task t;
        t.index = tasks.size();
        t.first = from;
        t.last = qMin(last, from + chunk - 1);
        tasks << t;
        if (from > last - chunk) break; // no overflow past INT_MAX
    }
    return tasks;
}

bool zalFarmJob::isValidFrame(const QString& file, QSize size)
{
    QImageReader reader(file, "png");
    if (reader.format() != "png" || reader.size() != size) return false;
    QImage image;
    return reader.read(&image) && image.size() == size;
}

int zalFarmJob::framesDone() const
{
    int done = 0;
    for (int f = m_request.frames.first; f <= m_request.frames.last; ++f)
        done += QFileInfo(m_request.frames.framePath(f)).isFile() ? 1 : 0;
    return done;
}

bool zalFarmJob::writeScript(QString& error)
{
    if (!QDir().mkpath(QDir(m_work).filePath(QStringLiteral("logs")))) {
        error = m_work + QStringLiteral(": cannot be made");
        return false;
    }
    const zalFrameOptions& f = m_request.frames;
    QStringList zalhost = {shellQuoted(m_request.zalhost),
                           "--open",
                           shellQuoted(m_request.drawing),
                           "--render-frames",
                           "\"$first-$last\"",
                           "--size",
                           QStringLiteral("%1x%2").arg(m_request.size.width()).arg(m_request.size.height()),
                           "--out",
                           shellQuoted(f.outFolder),
                           "--fps",
                           QString::number(f.fps, 'g', 10),
                           "--timeout",
                           QString::number(m_request.timeoutSeconds)};
    if (!f.scene.isEmpty()) zalhost << "--scene" << shellQuoted(f.scene);
    const int chunk = f.chunk > 0 ? f.chunk : kDefaultChunk;

    // The task's chunk comes from its array index, so a resubmitted task renders the same frames.
    QString script =
        QStringLiteral(
            "#!/bin/sh\n"
            "# One chunk of an animation, written by zalhost --farm slurm.\n"
            "first=$((%1 + SLURM_ARRAY_TASK_ID * %2))\n"
            "last=$((first + %2 - 1))\n"
            "[ $last -gt %3 ] && last=%3\n"
            "echo \"task $SLURM_ARRAY_TASK_ID of job $SLURM_ARRAY_JOB_ID on $(hostname): frames "
            "$first-$last\"\n"
            "# A display inherited from the submitting machine is no use on another node.\n"
            "if [ -n \"${DISPLAY:-}\" ]; then\n"
            "  n=${DISPLAY#*:}; n=${n%%.*}\n"
            "  [ -S /tmp/.X11-unix/X$n ] || unset DISPLAY\n"
            "fi\n"
            "if [ -z \"${DISPLAY:-}\" ]; then\n"
            "  # -displayfd: Xvfb picks a free display itself, so tasks on one node never collide.\n"
            "  number=$(mktemp)\n"
            "  Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp >\"$number\" 2>/dev/null &\n"
            "  xvfb=$!\n"
            "  trap 'kill $xvfb 2>/dev/null; rm -f \"$number\"' EXIT\n"
            "  i=0\n"
            "  while [ ! -s \"$number\" ] && [ $i -lt 300 ] && kill -0 $xvfb 2>/dev/null; do sleep 0.1; "
            "i=$((i + 1)); done\n"
            "  [ -s \"$number\" ] || { echo \"task: Xvfb did not start on $(hostname)\"; exit 3; }\n"
            "  export DISPLAY=:$(head -n 1 \"$number\")\n"
            "  echo \"task: started Xvfb on $DISPLAY\"\n"
            "fi\n")
            .arg(f.first)
            .arg(chunk)
            .arg(f.last);
    script += zalhost.join(QLatin1Char(' ')) +
              QStringLiteral("\ncode=$?\necho \"task: zalhost ended with $code\"\nexit $code\n");

    QSaveFile file(m_script);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0 || !file.commit()) {
        error = m_script + QStringLiteral(": cannot be written");
        return false;
    }
    QFile::setPermissions(m_script, QFile::permissions(m_script) | QFile::ExeOwner | QFile::ExeGroup);
    return true;
}

void zalFarmJob::start()
{
    if (m_tasks.isEmpty()) return finish(64, QStringLiteral("no frames to render"));
    if (!QFileInfo(m_request.drawing).isFile())
        return finish(2, m_request.drawing + QStringLiteral(": no such drawing"));
    QString error;
    if (!QDir().mkpath(m_request.frames.outFolder) || !writeScript(error))
        return finish(2, error.isEmpty() ? m_request.frames.outFolder + QStringLiteral(": cannot be made")
                                         : error);
    // Frames of an earlier run must not pass for this one's.
    for (int f = m_request.frames.first; f <= m_request.frames.last; ++f) {
        const QString path = m_request.frames.framePath(f);
        if (QFileInfo(path).isFile()) QFile::remove(path);
    }
    QList<int> all;
    for (const Task& t : m_tasks)
        all << t.index;
    if (!submit(all)) return;
    m_poll.start();
    poll();
}

bool zalFarmJob::submit(const QList<int>& indices)
{
    QStringList list;
    for (int i : indices)
        list << QString::number(i);
    const QString logs = QDir(m_work).filePath(QStringLiteral("logs/task_%a_job_%A.log"));
    const Run r = run(QStringLiteral("sbatch"),
                      {"--parsable", "--job-name=zalframes", "--export=ALL", "--array=" + list.join(','),
                       "--output=" + logs, "--chdir=" + m_request.frames.outFolder, m_script});
    if (r.code != 0) {
        finish(3,
               QStringLiteral("sbatch failed: %1 (is Slurm installed and SLURM_CONF set? scripts/farm-local "
                              "starts a local farm)")
                   .arg(r.err.isEmpty() ? QStringLiteral("exit %1").arg(r.code) : r.err));
        return false;
    }
    // --parsable: "jobid" or "jobid;cluster".
    m_jobId = r.out.trimmed().section(QLatin1Char(';'), 0, 0);
    m_active = indices;
    m_squeueFailures = 0;
    for (int i : indices) {
        Task& t = m_tasks[i];
        t.state = QStringLiteral("PENDING");
        t.exitCode.clear();
        t.log = QDir(m_work).filePath(QStringLiteral("logs/task_%1_job_%2.log").arg(i).arg(m_jobId));
        ++t.attempts;
    }
    emit progress(QStringLiteral("submitted job %1: %2 task%3 for frames %4-%5 into %6")
                      .arg(m_jobId)
                      .arg(indices.size())
                      .arg(indices.size() == 1 ? "" : "s")
                      .arg(m_tasks[indices.first()].first)
                      .arg(m_tasks[indices.last()].last)
                      .arg(m_request.frames.outFolder));
    return true;
}

void zalFarmJob::poll()
{
    if (m_done) return;
    // -r: one line per array task, pending ones included.
    const Run r = run(QStringLiteral("squeue"), {"-h", "-r", "-j", m_jobId, "-o", "%i|%T"});
    if (r.code != 0 && !r.err.contains(QLatin1String("Invalid job id"), Qt::CaseInsensitive)) {
        if (++m_squeueFailures >= 15)
            finish(3, QStringLiteral("squeue keeps failing for job %1: %2").arg(m_jobId, r.err));
        return;
    }
    m_squeueFailures = 0;
    QSet<int> listed;
    static const QRegularExpression line(QStringLiteral("^(\\d+)_(\\d+)\\|(\\S+)$"));
    for (const QString& text : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = line.match(text.trimmed());
        if (!m.hasMatch() || m.captured(1) != m_jobId) continue;
        const int index = m.captured(2).toInt();
        if (index < 0 || index >= m_tasks.size()) continue;
        m_tasks[index].state = m.captured(3);
        listed.insert(index);
    }
    // Tasks that left the queue: their end state, when Slurm still tells it.
    bool left = false;
    for (int i : m_active)
        left = left || (!listed.contains(i) && !isEnded(m_tasks[i].state));
    if (left && !listed.isEmpty()) readEndStates();
    for (int i : m_active)
        if (!listed.contains(i) && !isEnded(m_tasks[i].state)) m_tasks[i].state = QStringLiteral("ENDED");

    const QString line2 = progressLine();
    if (line2 != m_lastProgress) {
        m_lastProgress = line2;
        emit progress(line2);
    }
    if (listed.isEmpty()) checkEnd();
}

QString zalFarmJob::progressLine() const
{
    QStringList states;
    if (m_tasks.size() <= 16) {
        for (const Task& t : m_tasks)
            states << QStringLiteral("%1 %2").arg(t.index).arg(t.state);
    } else {
        QMap<QString, int> counts;
        for (const Task& t : m_tasks)
            ++counts[t.state];
        for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
            states << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    }
    return QStringLiteral("job %1: %2/%3 frames; tasks: %4")
        .arg(m_jobId)
        .arg(framesDone())
        .arg(framesTotal())
        .arg(states.join(QLatin1String(", ")));
}

bool zalFarmJob::readEndStates()
{
    // sacct where the cluster keeps accounting; scontrol remembers ended jobs for MinJobAge otherwise.
    const Run acct =
        run(QStringLiteral("sacct"), {"-n", "-P", "-X", "-j", m_jobId, "-o", "JobID,State,ExitCode"});
    bool any = false;
    if (acct.code == 0) {
        static const QRegularExpression line(QStringLiteral("^(\\d+)_(\\d+)\\|([A-Z_]+)[^|]*\\|(\\S+)$"));
        for (const QString& text : acct.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = line.match(text.trimmed());
            if (!m.hasMatch() || m.captured(1) != m_jobId) continue;
            const int index = m.captured(2).toInt();
            if (!m_active.contains(index)) continue;
            m_tasks[index].state = m.captured(3);
            m_tasks[index].exitCode = m.captured(4);
            any = true;
        }
    }
    if (any) return true;
    const Run ctl = run(QStringLiteral("scontrol"), {"-o", "show", "job", m_jobId});
    if (ctl.code != 0) return false;
    static const QRegularExpression task(QStringLiteral("\\bArrayTaskId=(\\d+)\\b"));
    static const QRegularExpression state(QStringLiteral("\\bJobState=(\\S+)"));
    static const QRegularExpression exit(QStringLiteral("\\bExitCode=(\\S+)"));
    static const QRegularExpression array(QStringLiteral("\\bArrayJobId=(\\d+)\\b"));
    for (const QString& text : ctl.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch t = task.match(text), s = state.match(text), e = exit.match(text),
                                      a = array.match(text);
        if (!t.hasMatch() || !s.hasMatch() || !a.hasMatch() || a.captured(1) != m_jobId) continue;
        const int index = t.captured(1).toInt();
        if (!m_active.contains(index)) continue;
        m_tasks[index].state = s.captured(1);
        m_tasks[index].exitCode = e.hasMatch() ? e.captured(1) : QString();
        any = true;
    }
    return any;
}

QString zalFarmJob::frameProblem(const Task& task) const
{
    QStringList missing, invalid;
    for (int f = task.first; f <= task.last; ++f) {
        const QString path = m_request.frames.framePath(f);
        if (!QFileInfo(path).isFile())
            missing << zalFrameOptions::frameName(f);
        else if (!isValidFrame(path, m_request.size))
            invalid << zalFrameOptions::frameName(f);
    }
    QStringList problems;
    if (!missing.isEmpty()) problems << QStringLiteral("missing %1").arg(missing.join(QLatin1String(", ")));
    if (!invalid.isEmpty())
        problems << QStringLiteral("not a %1x%2 PNG: %3")
                        .arg(m_request.size.width())
                        .arg(m_request.size.height())
                        .arg(invalid.join(QLatin1String(", ")));
    return problems.join(QLatin1String("; "));
}

void zalFarmJob::checkEnd()
{
    if (!readEndStates())
        emit progress(QStringLiteral("job %1: its tasks' end states cannot be read; judging by the frames")
                          .arg(m_jobId));
    // squeue may miss a task between two of its states; Slurm's word that it has not ended wins.
    for (int i : m_active)
        if (!isEnded(m_tasks[i].state)) return;
    QList<int> failed;
    QStringList why;
    for (const Task& t : m_tasks) {
        const QString problem = frameProblem(t);
        const bool stateBad = m_active.contains(t.index) && t.state != QLatin1String("COMPLETED") &&
                              t.state != QLatin1String("ENDED");
        if (problem.isEmpty() && !stateBad) continue;
        failed << t.index;
        why << QStringLiteral("task %1 (frames %2-%3): %4%5%6")
                   .arg(t.index)
                   .arg(t.first)
                   .arg(t.last)
                   .arg(t.state)
                   .arg(t.exitCode.isEmpty() ? QString() : QStringLiteral(", exit ") + t.exitCode)
                   .arg(problem.isEmpty() ? QString() : QStringLiteral("; ") + problem);
    }
    if (failed.isEmpty()) {
        encodeVideo();
        return finish(0, QStringLiteral("all %1 frames of job %2 are valid %3x%4 PNGs in %5")
                             .arg(framesTotal())
                             .arg(m_jobId)
                             .arg(m_request.size.width())
                             .arg(m_request.size.height())
                             .arg(m_request.frames.outFolder));
    }
    if (m_resubmissions < m_request.frames.retries) {
        ++m_resubmissions;
        for (const QString& w : why)
            emit progress(QStringLiteral("failed: ") + w);
        emit progress(QStringLiteral("resubmitting %1 failed task%2 once")
                          .arg(failed.size())
                          .arg(failed.size() == 1 ? "" : "s"));
        if (submit(failed)) poll();
        return;
    }
    QStringList report;
    for (int i = 0; i < failed.size(); ++i) {
        const Task& t = m_tasks[failed[i]];
        report << QStringLiteral("%1, after %2 attempt%3; its log %4:\n%5")
                      .arg(why[i])
                      .arg(t.attempts)
                      .arg(t.attempts == 1 ? "" : "s")
                      .arg(t.log, tail(t.log, 25));
    }
    finish(6, QStringLiteral("%1 of %2 task%3 failed:\n%4")
                  .arg(failed.size())
                  .arg(m_tasks.size())
                  .arg(m_tasks.size() == 1 ? "" : "s")
                  .arg(report.join(QLatin1Char('\n'))));
}

QString zalFarmJob::videoPath() const
{
    return QDir(m_request.frames.outFolder)
        .filePath(QStringLiteral("frames_%1-%2.mp4").arg(m_request.frames.first).arg(m_request.frames.last));
}

void zalFarmJob::encodeVideo()
{
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) return;
    // H.264 wants even sizes; yuv420p is what players take.
    const Run r =
        run(ffmpeg,
            {"-y", "-loglevel", "error", "-framerate", QString::number(m_request.frames.fps, 'g', 10),
             "-start_number", QString::number(m_request.frames.first), "-i",
             QDir(m_request.frames.outFolder).filePath(QStringLiteral("frame_%04d.png")), "-frames:v",
             QString::number(framesTotal()), "-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264",
             "-pix_fmt", "yuv420p", videoPath()},
            600000);
    if (r.code == 0)
        emit progress(QStringLiteral("video: %1").arg(videoPath()));
    else
        emit progress(QStringLiteral("ffmpeg could not make the video (%1); the frames are fine").arg(r.err));
}

void zalFarmJob::cancel()
{
    if (m_done) return;
    if (!m_jobId.isEmpty()) {
        const Run r = run(QStringLiteral("scancel"), {m_jobId});
        if (r.code != 0) emit progress(QStringLiteral("scancel %1 failed: %2").arg(m_jobId, r.err));
    }
    finish(130, m_jobId.isEmpty() ? QStringLiteral("cancelled before submission")
                                  : QStringLiteral("cancelled job %1 (scancel)").arg(m_jobId));
}

void zalFarmJob::finish(int code, const QString& message)
{
    if (m_done) return;
    m_done = true;
    m_poll.stop();
    emit finished(code, message);
}
