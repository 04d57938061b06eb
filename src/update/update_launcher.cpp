#include "update/update_launcher.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include <QFile>

#include "update/verified_update.h"

extern char** environ;

namespace velmora::update {

namespace {

UpdateLauncher& Replacement() {
    static UpdateLauncher launcher;
    return launcher;
}

// Writes errno to `pipe` and ends: the start failed.
[[noreturn]] void ReportAndExit(int pipe) {
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(pipe, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

bool StartUpdateFile(const VerifiedUpdate& update, const QString& name, const QStringList& arguments, QString& reason) {
    // Everything the child needs is made before fork: after it, in a program
    // with threads, only async-signal-safe calls are allowed.
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(name));
    for (const QString& argument : arguments) storage.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& bytes : storage) argv.push_back(bytes.data());
    argv.push_back(nullptr);
    const int descriptor = update.Descriptor();
    const bool script = update.kind() == VerifiedUpdate::Kind::Script;

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        reason = QStringLiteral("The update could not be started (no pipe).");
        return false;
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(report[0]);
        ::close(report[1]);
        reason = QStringLiteral("The update could not be started (no process).");
        return false;
    }
    if (middle == 0) {
        // A session of its own, and a grandchild, so that the update is
        // nobody's zombie and outlives this program. _Fork runs no fork
        // handlers: in a child of a program with threads they could wait on
        // a lock forever.
        ::close(report[0]);
        ::setsid();
        const pid_t grandchild = ::_Fork();
        if (grandchild < 0) ReportAndExit(report[1]);
        if (grandchild > 0) ::_exit(0);
        // Nothing of ours beyond the standard three goes with the update,
        // and its signals start as a new program's would.
        ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        for (int number = 1; number < NSIG; ++number) ::sigaction(number, &standard, nullptr);
        if (script && ::fcntl(descriptor, F_SETFD, 0) != 0) ReportAndExit(report[1]);
        ::syscall(SYS_execveat, descriptor, "", argv.data(), environ, AT_EMPTY_PATH);
        ReportAndExit(report[1]);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    // The report's end closes with a successful start: nothing arrives.
    if (got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    reason = QStringLiteral("The update could not be started: %1.")
                 .arg(QString::fromLocal8Bit(std::strerror(got > 0 ? error : ECHILD)));
    return false;
}

UpdateLauncher SetUpdateLauncher(UpdateLauncher launcher) { return std::exchange(Replacement(), std::move(launcher)); }

const UpdateLauncher& CurrentUpdateLauncher() { return Replacement(); }

}  // namespace velmora::update
