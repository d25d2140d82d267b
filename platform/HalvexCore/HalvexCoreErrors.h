#pragma once

// The error domain and codes of the SSH transport. The session controller
// stops retrying on 1, 1006 and 1008; every other code may succeed on a retry.
inline constexpr const char* HalvexCoreErrorDomain = "Halvex.Core";

enum HalvexCoreErrorCode : long {
    HalvexCoreErrorHostKeyRefused = 1,    // the delegate refused the server's host key
    HalvexCoreErrorConnect = 1001,        // name resolution, socket connect, time-out
    HalvexCoreErrorProxy = 1002,          // the proxy failed or refused the target
    HalvexCoreErrorProtocol = 1003,       // SSH handshake failed or the connection broke
    HalvexCoreErrorChannel = 1004,        // a channel could not be opened or broke
    HalvexCoreErrorForward = 1005,        // a remote forward request failed
    HalvexCoreErrorAuthentication = 1006, // authentication failed
    HalvexCoreErrorConfiguration = 1008,  // settings or keys that no retry can fix
};
