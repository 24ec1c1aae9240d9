// What the network libraries (Redfish, CIM) make of a failure: one error type with the cause the
// user is told and a hint, and the rules they share for transport failures.
//
// Pure; nothing here throws but std::bad_alloc. Messages never hold credentials: they are made
// from paths, method names and the transport's own texts only.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "tesmora/Diagnostics.h"
#include "transport/Transport.h"

namespace Tesmora::Net {

class Error : public std::runtime_error {
public:
    Error(Cause cause, const std::string& message, std::string hint = std::string())
        : std::runtime_error(message), cause_(cause), hint_(std::move(hint)) {}
    Cause cause() const { return cause_; }
    const std::string& hint() const { return hint_; }

private:
    Cause cause_;
    std::string hint_;
};

// Whether another attempt may help: a lost connection, an answer cut short, or a TLS session
// that could not be set up (controllers' TLS stacks refuse a handshake now and then when busy).
// A time-out is not retried: another attempt would only double the wait.
bool Retryable(TransportFailure failure);

// The error a transport failure stands for; what names the request ("/redfish/v1/Systems",
// "EnumerateInstances"), service what should be answering ("service", "CIM server").
Error ErrorOf(const TransportError& error, const std::string& endpoint, const std::string& what,
              const std::string& service);

// A text a service sent, fit to quote in a message: in double quotes, cut after 120 bytes,
// control characters, quotes and backslashes as \xNN.
std::string Shown(const std::string& text);

// The time an endpoint may still take, and whether its caller has given up: both clients check
// them before each request and each wait, and give each request no more than what is left.
struct Bounds {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> deadline;  // none: no limit
    std::function<bool()> cancelled;            // null: never; cheap and thread-safe
    std::function<Clock::time_point()> now;     // null: the steady clock

    Clock::time_point Now() const { return now ? now() : Clock::now(); }
    // The Error to throw before asking for what (a path, a CIM method), or before a wait of
    // that length: nullopt while neither the cancellation nor the deadline has struck.
    std::optional<Error> Exceeded(const std::string& what, std::chrono::milliseconds wait) const;
    // The time-out of the next request: own, or what is left of the deadline where that is
    // shorter (at least 1 ms).
    std::chrono::milliseconds RequestLimit(std::chrono::milliseconds own) const;
};

// The endpoint's time ran out while what was under way.
Error EndpointTimeOut(const std::string& what);

// A default wait for the clients: sleeps in short slices, returning early once cancelled (may
// be null) answers true.
std::function<void(std::chrono::milliseconds)> CancellableSleep(std::function<bool()> cancelled);

// Whether a client can go on after an error of this cause: only failures of one request do not
// end it.
bool EndsClient(Cause cause);

}  // namespace Tesmora::Net
