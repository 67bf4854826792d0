#pragma once

class QProcess;

// Children end politely first, so that they can save and clean up, then by force.
class ChildProcess
{
public:
    // SIGTERM, up to `graceMs` for the exit, then SIGKILL and a last wait. Nothing when the
    // process does not run (QProcess ignores both then).
    static void stop(QProcess& process, int graceMs = 10000);
};
