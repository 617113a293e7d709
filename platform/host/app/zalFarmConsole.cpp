#include "zalFarmConsole.h"

#include "zalFarmJob.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int s_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here; the event loop does the cancelling.
void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[0], &byte, 1);
}

} // namespace

int zalRunFarmFromCommandLine(int argc, char** argv, const zalAppOptions& options)
{
    QCoreApplication app(argc, argv);
    zalFarmJob::Request request;
    request.zalhost = QCoreApplication::applicationFilePath();
    request.drawing = QFileInfo(options.openFile).absoluteFilePath();
    request.size = options.size;
    request.timeoutSeconds = options.timeoutSeconds;
    request.frames = options.frames;
    zalFarmJob job(request);

    QObject::connect(&job, &zalFarmJob::progress, [](const QString& line) {
        std::printf("farm: %s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    });
    QObject::connect(&job, &zalFarmJob::finished, &app, [&app](int code, const QString& message) {
        std::fprintf(code == 0 ? stdout : stderr, "farm: %s\n", message.toLocal8Bit().constData());
        std::fflush(code == 0 ? stdout : stderr);
        QMetaObject::invokeMethod(
            &app, [&app, code] { app.exit(code); }, Qt::QueuedConnection);
    });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(s_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &job, [&job, notifier] {
            char byte;
            [[maybe_unused]] const ssize_t got = ::read(s_signalPipe[1], &byte, 1);
            notifier->setEnabled(false);
            job.cancel();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }

    QMetaObject::invokeMethod(&job, &zalFarmJob::start, Qt::QueuedConnection);
    const int code = app.exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return code;
}
