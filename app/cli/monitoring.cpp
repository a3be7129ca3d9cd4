#include "app/cli/monitoring.h"

#include <charconv>
#include <cstdio>
#include <random>

namespace corvix::cli {
namespace {

// "-?(digits[.digits]|.digits)": a plain decimal number, read without the locale.
std::optional<double> ParseNumber(std::string_view text, bool signAllowed) {
    std::string_view digits = text;
    if (signAllowed && digits.starts_with('-')) digits.remove_prefix(1);
    const std::size_t dot = digits.find('.');
    const std::string_view whole = digits.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : digits.substr(dot + 1);
    const auto allDigits = [](std::string_view part) {
        return part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (whole.empty() && fraction.empty()) return std::nullopt;
    if (!allDigits(whole) || !allDigits(fraction) || whole.size() + fraction.size() > 15) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A number with `decimals` decimals, the zeros past the `keep`th left out.
std::string Decimal(double value, int decimals, int keep) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value == 0 ? 0.0 : value);
    std::string shown = text;
    const std::size_t dot = shown.find('.');
    if (dot == std::string::npos) return shown;
    while (shown.size() > dot + 1 + static_cast<std::size_t>(keep) && shown.back() == '0') shown.pop_back();
    if (shown.back() == '.') shown.pop_back();
    return shown;
}

// Prometheus' label value escapes.
std::string LabelValue(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

bool Range::Alerts(double value) const {
    const bool within = (startInfinite || value >= start) && (endInfinite || value <= end);
    return inside ? within : !within;
}

std::string Range::Text() const {
    std::string text = inside ? "@" : "";
    const auto number = [](double value) { return Decimal(value, 6, 3); };
    if (startInfinite) {
        text += "~:";
    } else if (start != 0 || endInfinite) {
        text += number(start) + ":";
    }
    if (!endInfinite) text += number(end);
    return text;
}

std::optional<Range> ParseRange(std::string_view text) {
    Range range;
    if (text.starts_with('@')) {
        range.inside = true;
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    const std::size_t colon = text.find(':');
    std::string_view endText = text;
    if (colon != std::string_view::npos) {
        const std::string_view startText = text.substr(0, colon);
        endText = text.substr(colon + 1);
        if (startText == "~") {
            range.startInfinite = true;
        } else if (!startText.empty()) {
            const std::optional<double> start = ParseNumber(startText, true);
            if (!start) return std::nullopt;
            range.start = *start;
        }
        if (endText.empty()) {
            range.endInfinite = true;
            return range;
        }
    }
    const std::optional<double> end = ParseNumber(endText, true);
    if (!end) return std::nullopt;
    range.end = *end;
    if (!range.startInfinite && range.start > range.end) return std::nullopt;
    return range;
}

std::optional<double> ParseSeconds(std::string_view text) { return ParseNumber(text, false); }

std::string ShortNumber(double value) { return Decimal(value, 6, 0); }

std::string PerfItem::Text() const {
    std::string text = label + "=" + (seconds ? Decimal(*seconds, 6, 6) + "s" : "U");
    const std::string fields[] = {warning ? warning->Text() : "", critical ? critical->Text() : "",
                                  min ? ShortNumber(*min) : "", max ? ShortNumber(*max) : ""};
    std::size_t given = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!fields[i].empty()) given = i + 1;
    }
    if (emptyMax && given < 4) given = 4;
    for (std::size_t i = 0; i < given; ++i) text += ";" + fields[i];
    return text;
}

std::string ProbeMetrics(const Probe& probe) {
    const std::string labels = "{host=\"" + LabelValue(probe.host) + "\",port=\"" + std::to_string(probe.port) + "\"}";
    const auto metric = [&labels](std::string_view name, std::string_view help, const std::string& value) {
        const std::string n(name);
        return "# HELP " + n + " " + std::string(help) + "\n# TYPE " + n + " gauge\n" + n + labels + " " + value +
               "\n";
    };
    return metric("probe_success", "Displays whether or not the probe was a success", probe.success ? "1" : "0") +
           metric("probe_duration_seconds", "Returns how long the probe took to complete in seconds",
                  Decimal(probe.durationSeconds, 6, 6)) +
           metric("probe_dns_lookup_time_seconds", "Returns the time taken for probe dns lookup in seconds",
                  Decimal(probe.dnsLookupSeconds, 6, 6));
}

std::uint32_t WriteFileAtomically(os::Files& files, const std::string& path, std::string_view text) {
    // A name of its own beside the file, so that two runs never write the same one.
    std::random_device random;
    os::OpenResult opened;
    std::string temporary;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
        temporary = path + suffix;
        opened = files.Open(temporary, os::Files::GenericWrite, 0, os::Files::CreateNew, os::Files::AttributeNormal);
        if (opened.handle != os::InvalidFileHandle || (opened.error != os::ErrorFileExists &&
                                                       opened.error != os::ErrorAlreadyExists)) {
            break;
        }
    }
    if (opened.handle == os::InvalidFileHandle) return opened.error;
    const os::TransferResult written =
        files.Write(opened.handle, text.data(), static_cast<std::uint32_t>(text.size()));
    std::uint32_t failure = 0;
    if (!written.ok) {
        failure = written.error;
    } else if (written.count != text.size()) {
        failure = os::ErrorDiskFull;
    }
    const std::uint32_t closed = files.Close(opened.handle);
    if (failure == 0) failure = closed;
    if (failure == 0) failure = files.Replace(temporary, path);
    if (failure != 0) files.Delete(temporary);
    return failure;
}

}  // namespace corvix::cli
