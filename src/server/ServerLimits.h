// Every limit of the built-in mail server in one place, with the timings of its threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace quillet {

// Port of the listening socket until the owner sets another.
inline constexpr std::uint16_t DefaultServerPort = 25;
// Address the server listens on unless its owner chooses another: the loopback address only.
inline constexpr const char* DefaultBindAddress = "127.0.0.1";
// Backlog of the listening socket. A short queue such as 15 is not enough here: when a burst of
// clients overflows it, this platform answers the surplus handshakes with SYN cookies and then
// drops them silently, so those clients hold a connection that is never accepted and wait
// forever for the greeting. A queue of this size takes such bursts (the system caps it at its
// own maximum).
inline constexpr int DefaultListenQueue = 1024;
// Connections served at the same time; 0 means no limit.
inline constexpr int DefaultMaxConnections = 0;
// Worker threads that serve the connections; 0 means one for each processor. One worker keeps up
// with many clients (it waits for all of their sockets at once), leaves the other processors to
// them, and creates and deletes the data files without contending for the temporary folder:
// with two workers on two processors the server under load was slower, not faster.
inline constexpr int DefaultWorkerCount = 1;
// A connection whose replies wait unsent to this many bytes (its client sends commands without
// reading the replies) is not served further until they have left, so a client that never reads
// holds neither a worker nor an unbounded amount of memory.
inline constexpr std::size_t ReplyBacklogLimit = 16384;

// While accepting is paused (AcceptFailurePause), the listener's wait is cut into slices this
// long, so that the listening socket is taken up again in time. Otherwise the wait has no time
// limit: a connection, a stop request or a new connection handed over ends it at once.
inline constexpr std::chrono::milliseconds ListenerPollInterval{100};
// After an accept that failed for want of resources the listener pauses this long, so that a
// full descriptor table does not turn it into a busy loop.
inline constexpr std::chrono::milliseconds AcceptFailurePause{100};
// A worker whose last wait for its connections ended within this time looks for ready sockets
// this long (giving the processor to other threads between looks) before it sleeps again. A
// client on the same machine mostly sends its next command within it, and a worker that has not
// slept needs no wake-up: the sleep and the wake-up cost both sides more than the looks. After a
// longer wait (a client far away, or one that pauses) the worker sleeps at once, so such clients
// cost no looks.
inline constexpr std::chrono::microseconds WorkerLookBeforeSleep{50};
// Deactivation looks this often for the connection threads to have ended ...
inline constexpr std::chrono::milliseconds TerminatePollInterval{250};
// ... for at most this long in all.
inline constexpr std::chrono::milliseconds DefaultTerminateWaitTime{5000};

// Longest command or data line, in bytes before its LF (a CR before the LF counts).
inline constexpr std::size_t MaxCommandLineLength = 16384;
// Most recipients one transaction collects; further RCPT commands are refused.
inline constexpr std::size_t MaxRecipientsPerMessage = 1000;
// Most bytes of message data kept for one message; the rest is read and discarded and the
// message refused, so that no client can fill the disk through the temporary folder.
inline constexpr std::uint64_t DefaultMaxMessageSize = std::uint64_t{1} << 30;

} // namespace quillet
