// SIGINT, SIGTERM and SIGHUP: the handler only notes the signal; the frame loop,
// reads and writes check the note and end the command by unwinding, so that every
// temporary file and directory is removed by its owner on the way out.
#include <signal.h>

#include <cstring>

#include "tools/Tool.h"

namespace wqtrans::tool {

namespace {

volatile sig_atomic_t gSignal = 0;

void Note(int signal) { gSignal = signal; }

} // namespace

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = Note;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked read or write returns EINTR, and its loop checks.
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // A closed pipe and a full file-size limit are write errors to report, not deaths
    // that leave temporaries behind.
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

bool Interrupted() { return gSignal != 0; }

void CheckInterrupted() {
    const int signal = gSignal;
    if (signal != 0) {
        throw ToolError(128 + signal, std::string("interrupted by ") +
                                          (signal == SIGINT    ? "SIGINT"
                                           : signal == SIGTERM ? "SIGTERM"
                                                               : "SIGHUP") +
                                          "; nothing was written");
    }
}

} // namespace wqtrans::tool
