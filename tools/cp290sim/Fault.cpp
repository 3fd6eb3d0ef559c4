#include "tools/cp290sim/Fault.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace vantrel::cp290sim {

namespace {

constexpr double MaxValue = 1e6;

enum class ValueRule
{
    None,
    Optional,
    Required
};

struct FaultName
{
    std::string_view name;
    FaultKind kind;
    ValueRule value;
    bool wholeNumber;
};

constexpr std::array<FaultName, 12> FaultNames = {{
    {"no-reply", FaultKind::NoReply, ValueRule::None, false},
    {"bad-status", FaultKind::BadStatus, ValueRule::None, false},
    {"garbage", FaultKind::Garbage, ValueRule::None, false},
    {"babble", FaultKind::Babble, ValueRule::None, false},
    {"drop-byte", FaultKind::DropByte, ValueRule::Optional, true},
    {"late", FaultKind::Late, ValueRule::Required, false},
    {"trickle", FaultKind::Trickle, ValueRule::Required, false},
    {"flaky", FaultKind::Flaky, ValueRule::Required, true},
    {"vanish", FaultKind::Vanish, ValueRule::Optional, true},
    {"power-loss", FaultKind::PowerLoss, ValueRule::Optional, false},
    {"corrupt-event", FaultKind::CorruptEvent, ValueRule::Required, true},
    {"drop-event", FaultKind::DropEvent, ValueRule::Required, true},
}};

// Slots are numbered from 0, as command 3 addresses them (address / 8).
constexpr double LastSlot = 127;

bool parseLong(std::string_view text, long& out)
{
    if (text.empty())
        return false;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

bool parseNumber(std::string_view text, double& out)
{
    if (text.empty())
        return false;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    // The cap keeps every value convertible to a time span and a count.
    return ec == std::errc() && ptr == end && std::isfinite(out) && out >= 0 && out <= MaxValue;
}

bool fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return false;
}

bool parseWhich(std::string_view which, Fault& fault, std::string* error)
{
    const auto dash = which.find('-');
    const std::string_view from = which.substr(0, dash);
    if (!parseLong(from, fault.first) || fault.first < 1)
        return fail(error, "exchange number must be 1 or more: " + std::string(which));
    if (dash == std::string_view::npos) {
        fault.last = fault.first;
        return true;
    }
    const std::string_view to = which.substr(dash + 1);
    if (to.empty()) {
        fault.last = LONG_MAX;
        return true;
    }
    if (!parseLong(to, fault.last) || fault.last < fault.first)
        return fail(error, "bad exchange range: " + std::string(which));
    return true;
}

} // namespace

bool Fault::appliesTo(long exchange) const
{
    if (kind == FaultKind::Flaky)
        return exchange <= static_cast<long>(value.value_or(0));
    return exchange >= first && exchange <= last;
}

std::optional<Fault> parseFault(const std::string& text, std::string* error)
{
    std::string_view rest = text;
    Fault fault;
    if (const auto at = rest.find('@'); at != std::string_view::npos) {
        if (!parseWhich(rest.substr(at + 1), fault, error))
            return std::nullopt;
        rest = rest.substr(0, at);
    }
    std::string_view valueText;
    bool hasValue = false;
    if (const auto eq = rest.find('='); eq != std::string_view::npos) {
        valueText = rest.substr(eq + 1);
        hasValue = true;
        rest = rest.substr(0, eq);
    }
    for (const auto& entry : FaultNames) {
        if (entry.name != rest)
            continue;
        fault.kind = entry.kind;
        if (hasValue && entry.value == ValueRule::None) {
            fail(error, std::string(entry.name) + " takes no value");
            return std::nullopt;
        }
        if (!hasValue && entry.value == ValueRule::Required) {
            fail(error, std::string(entry.name) + " needs a value");
            return std::nullopt;
        }
        if (hasValue) {
            double number = 0;
            if (!parseNumber(valueText, number) ||
                (entry.wholeNumber && number != std::floor(number))) {
                fail(error,
                     "bad value for " + std::string(entry.name) + ": " + std::string(valueText));
                return std::nullopt;
            }
            fault.value = number;
        }
        if (fault.kind == FaultKind::Flaky && text.find('@') != std::string::npos) {
            fail(error, "flaky counts from the first exchange and takes no @");
            return std::nullopt;
        }
        if ((fault.kind == FaultKind::CorruptEvent || fault.kind == FaultKind::DropEvent) &&
            *fault.value > LastSlot) {
            fail(error, std::string(entry.name) + " takes a slot from 0 to 127");
            return std::nullopt;
        }
        if (fault.kind == FaultKind::DropByte && fault.value && *fault.value < 1) {
            fail(error, "drop-byte position starts at 1");
            return std::nullopt;
        }
        return fault;
    }
    fail(error, "unknown fault: " + std::string(rest));
    return std::nullopt;
}

std::string faultHelp()
{
    return R"(Faults (--fault NAME[=VALUE][@WHICH], repeatable):
  WHICH picks the exchanges spoiled, counting every complete frame received from 1:
  N (only the Nth), N-M (N to M), N- (N and after). Without it, every exchange.
  A spoiled exchange is not carried out unless said otherwise.
  no-reply         no answer at all
  bad-status       six 0xFF and a status the command does not accept
                   (1 for the self test, 2 for command 0, 0 otherwise)
  garbage          bytes other than 0xFF mixed with runs of at most five 0xFF, then silence
  babble           bytes other than 0xFF at the line rate, without end, until the next frame
  drop-byte[=K]    carries out the command but leaves byte K (1-based) out of the
                   reply; by default the middle byte
  late=SECONDS     carries out the command and replies SECONDS later
  trickle=SECONDS  carries out the command and sends the reply one byte every SECONDS
  flaky=N          no answer to the first N exchanges, then normal (takes no @)
  vanish[=K]       sends K bytes of the reply (default 0), then closes the terminal,
                   removes the link and exits 0, so the client sees a hang-up
  power-loss[=SECONDS]
                   forgets clock, events and base house code and answers nothing;
                   after SECONDS (default: never) it comes back with empty memory and,
                   like a CP290 whose battery is flat, answers status 0 to commands 1
                   to 5 until a base house code is set
  corrupt-event=SLOT
                   acknowledges the timer event for SLOT (0-127, its address / 8) but
                   stores it with its hour one later, as a failing memory would
  drop-event=SLOT  acknowledges the timer event for SLOT but does not store it
)";
}

} // namespace vantrel::cp290sim
