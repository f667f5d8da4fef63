// The SMTP reply codes (RFC 5321, section 4.2.3) that the client expects and the built-in server
// sends. An unscoped enum in a namespace of its own, so that a code reads by name and still
// compares and prints as the number on the wire.
#pragma once

namespace quillet::SMTPReply {

enum Code : int {
    ServiceReady = 220,
    ServiceClosing = 221,
    AuthSucceeded = 235,
    Ok = 250,
    UserNotLocal = 251,
    AuthContinue = 334,
    StartMailInput = 354,
    ServiceNotAvailable = 421,
    InsufficientStorage = 452,
    CommandUnrecognized = 500,
    ParameterSyntaxError = 501,
    BadSequence = 503,
    MailboxUnavailable = 550,
    ExceededStorage = 552,
};

} // namespace quillet::SMTPReply
