#include "signalwatcher.h"

#include <QSocketNotifier>

#include <atomic>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace ks {

namespace {

int g_pipe[2] = { -1, -1 };
std::atomic<std::atomic<bool> *> g_stopTarget{ nullptr };
std::atomic<int> g_caught{ 0 };

// Only async-signal-safe calls here: an atomic store, write and _exit.
void onSignal(int signalNumber)
{
    std::atomic<bool> *target = g_stopTarget.load();
    if (g_caught.fetch_add(1) > 0 || !target)
        _exit(SignalWatcher::StoppedExitCode);
    target->store(true);
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = write(g_pipe[1], &byte, 1);
}

void install(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

static_assert(std::atomic<std::atomic<bool> *>::is_always_lock_free, "the signal handler needs a lock-free pointer");
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free counter");

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::drain);
    install(onSignal);

    // A reader that goes away (`| head`) must show as a failed write, not
    // kill the program in the middle of a file. A handler rather than
    // SIG_IGN, so the tools started from here get the default back.
    struct sigaction pipeAction = {};
    pipeAction.sa_handler = [](int) {};
    sigemptyset(&pipeAction.sa_mask);
    sigaction(SIGPIPE, &pipeAction, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    install(SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    g_stopTarget.store(nullptr);
    if (g_pipe[0] >= 0) {
        close(g_pipe[0]);
        close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
}

void SignalWatcher::setStopTarget(std::atomic<bool> *flag)
{
    g_stopTarget.store(flag);
}

void SignalWatcher::drain()
{
    unsigned char byte = 0;
    while (read(g_pipe[0], &byte, 1) == 1)
        Q_EMIT caught(byte);
}

} // namespace ks
