#pragma once

#include <QString>

// A request's failure as a worker keeps it instead of signalling it: a request made ahead of the
// caller that will take its answer, whose failure is that caller's to report.
struct NetFailure
{
    bool failed = false;
    int errCode = 0;
    QString text;
};

// While it lives, the request failures of the calling thread are kept in `into` rather than
// signalled.
class NetCapturedFailure
{
public:
    explicit NetCapturedFailure(NetFailure* into);
    ~NetCapturedFailure();
    NetCapturedFailure(const NetCapturedFailure&) = delete;
    NetCapturedFailure& operator=(const NetCapturedFailure&) = delete;

private:
    NetFailure* m_before;
};
