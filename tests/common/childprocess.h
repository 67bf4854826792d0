#pragma once

class QProcess;

// The child processes of the tests (the reference server, the broker, X servers, the program
// itself) are ended the same way: politely first, so that they can save and clean up, and by
// force when they do not go in time.
class ChildProcess
{
public:
    // SIGTERM, up to `graceMs` for the exit, then SIGKILL and a last wait. Nothing when the
    // process does not run (QProcess ignores both then).
    static void stop(QProcess& process, int graceMs = 10000);
};
