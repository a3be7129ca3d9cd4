// What check hands to monitoring systems: thresholds in the Monitoring Plugins' range syntax, their
// performance data, and the Prometheus blackbox exporter's metrics for node_exporter's textfile collector.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "os/files.h"

namespace corvix::cli {

// A threshold range as the Monitoring Plugins development guidelines write it: "10" (0 to 10), "10:"
// (10 and up), "~:10" (anything up to 10), "10:20", and with "@" in front the inside of the range
// instead of its outside. The ends belong to the range.
struct Range {
    double start = 0;
    bool startInfinite = false;  // "~"
    double end = 0;
    bool endInfinite = false;  // nothing after the ":"
    bool inside = false;       // "@": a value inside the range alerts

    // Whether `value` raises the alert of this range.
    bool Alerts(double value) const;
    // The range in the same syntax, each number with at least three decimals: "1.000", "@10.000:20.000".
    std::string Text() const;
};

// The range of `text`; nothing when it is not one (or its start lies past its end).
std::optional<Range> ParseRange(std::string_view text);

// A number of seconds, fractions allowed: "10", "0.5", "2.". Nothing for anything else, a sign included.
std::optional<double> ParseSeconds(std::string_view text);

// Seconds as few digits show them exactly, up to microseconds: "10", "0.5", "0.000412".
std::string ShortNumber(double value);

// One performance data item as the guidelines write it, seconds: "connect=0.001210s;1.000;5.000;0;10".
// No value gives "U" (a step never reached); no threshold or limit leaves its field empty, and the
// fields after the last one given are left out.
struct PerfItem {
    std::string label;
    std::optional<double> seconds = {};
    std::optional<Range> warning = {};
    std::optional<Range> critical = {};
    std::optional<double> min = {};
    std::optional<double> max = {};
    // Keep the ";" of an empty max, as in "dns=0.000412s;;;0;".
    bool emptyMax = false;

    std::string Text() const;
};

// One probe as the Prometheus blackbox exporter reports a TCP probe.
struct Probe {
    std::string host;  // UTF-8
    std::int32_t port = 0;
    bool success = false;
    double durationSeconds = 0;
    double dnsLookupSeconds = 0;
};

// The probe's metrics in Prometheus' text format: probe_success, probe_duration_seconds and
// probe_dns_lookup_time_seconds with "host" and "port" labels, each with HELP and TYPE, no time stamps,
// ending with a line end.
std::string ProbeMetrics(const Probe& probe);

// Puts `text` in `path` in one step: written to a new file beside it (same directory, a name that
// does not end in ".prom"), which then replaces `path`. 0, or the error code of the step that failed;
// the new file is removed again on failure.
std::uint32_t WriteFileAtomically(os::Files& files, const std::string& path, std::string_view text);

}  // namespace corvix::cli
