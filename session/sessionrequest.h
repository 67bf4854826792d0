#pragma once

// The request codes the session gives the request engine; every answer echoes its code.
namespace SessionRequest {
enum Code
{
    Login = 1,
    Logout = 2,
    Cache = 3,
    Rooms = 4,
    Group = 5,
    Room = 7,
    Unlock = 8,
    Ping = 9,
};

// Error codes of the server the session acts on.
enum Error
{
    ErrorNetwork = 10001,
    ErrorTakenOver = 40102, // logged in on another PC
    ErrorSessionEnded = 40104,
    ErrorVersion = 40106,
    ErrorAccountRemoved = 40108,
};
} // namespace SessionRequest
