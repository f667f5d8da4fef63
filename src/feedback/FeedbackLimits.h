// Every limit of hearing back in one place, with the reason it has its value.
#pragma once

#include <chrono>
#include <cstddef>

namespace quillet {

// Soft bounces (a delayed or 4.x.x report) of one address before it is suppressed: one delay is
// often a full mailbox or a greylisting server, three in a row mean mail does not reach it.
inline constexpr int kDefaultSoftBounceLimit = 3;
// How long a writer waits for another process (the desktop program, a scan) that holds the
// suppression list's write lock before it gives up: far longer than any transaction of ours.
inline constexpr std::chrono::milliseconds kSuppressionBusyTimeout{30000};
// Messages of a scan recorded in one transaction: a commit per message would cost far more than
// reading the message; a group of this size is a moment's work, lost only if the scan dies.
inline constexpr std::size_t kScanMessagesPerTransaction = 200;
// A message read from a mailbox: reports and unsubscribe mails are small, and what a reader
// needs (headers, the report part, the returned headers) comes first. The rest is not read.
inline constexpr std::size_t kMaxFeedbackMessageBytes = 4 * 1024 * 1024;
// Nesting of MIME parts looked into for a report: a report inside a forwarded message is two
// levels deeper than its own; more is not a report of a mail server.
inline constexpr int kMaxReportDepth = 6;
// The one-click endpoint: a request (line, headers and body) is a short form post; anything
// larger is not one of ours.
inline constexpr std::size_t kMaxUnsubscribeRequestBytes = 8192;
inline constexpr std::size_t kMaxUnsubscribeHeaderCount = 40;
// Connections served at once by the endpoint (each holds one thread); the rest wait in the queue.
inline constexpr std::size_t kUnsubscribeWorkerThreads = 8;
// Time a client has to send its request, and the endpoint to send its answer.
inline constexpr std::chrono::seconds kUnsubscribeReadTimeout{10};
inline constexpr std::chrono::seconds kUnsubscribeWriteTimeout{10};
// A kept-alive connection is closed after this long idle or after this many requests.
inline constexpr std::chrono::seconds kUnsubscribeIdleTimeout{5};
inline constexpr std::size_t kUnsubscribeKeepAliveRequests = 20;

} // namespace quillet
