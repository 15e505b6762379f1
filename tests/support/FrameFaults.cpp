#include "FrameFaults.h"

#include <charconv>
#include <stdexcept>

namespace {

template <typename Number> Number ParseNumber(const std::string& option, const std::string& text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        throw std::invalid_argument("bad value for " + option + ": '" + text + "'");
    return value;
}

double ParsePercent(const std::string& option, const std::string& text)
{
    const double value = ParseNumber<double>(option, text);
    if (value > 100)
        throw std::invalid_argument("bad value for " + option + ": '" + text + "' is over 100");
    return value;
}

} // namespace

FrameFaults ParseFrameFaults(const std::vector<std::string>& args)
{
    FrameFaults faults;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& option = args[i];
        if (i + 1 == args.size())
            throw std::invalid_argument("no value after " + option);
        const std::string& value = args[i + 1];
        if (option == "--delay-us")
            faults.delay = std::chrono::microseconds(ParseNumber<int64_t>(option, value));
        else if (option == "--loss")
            faults.lossPercent = ParsePercent(option, value);
        else if (option == "--duplicate")
            faults.duplicatePercent = ParsePercent(option, value);
        else if (option == "--reorder")
            faults.reorderPercent = ParsePercent(option, value);
        else if (option == "--reorder-hold-us")
            faults.reorderHold = std::chrono::microseconds(ParseNumber<int64_t>(option, value));
        else if (option == "--seed")
            faults.seed = ParseNumber<uint64_t>(option, value);
        else
            throw std::invalid_argument("unknown option " + option);
    }
    return faults;
}

FaultDice::FaultDice(const FrameFaults& faults) : faults_(faults), random_(faults.seed) {}

bool FaultDice::Chance(double percent)
{
    // Draw even when the chance is nil, so that switching one fault on or off does not
    // move the others to different frames.
    return std::uniform_real_distribution<double>(0, 100)(random_) < percent;
}

FrameFate FaultDice::Roll()
{
    // Each copy is held back on its own, so a late duplicate can arrive after frames
    // that were sent later than the original.
    const bool lost = Chance(faults_.lossPercent);
    const bool duplicated = Chance(faults_.duplicatePercent);
    const bool held[2] = {Chance(faults_.reorderPercent), Chance(faults_.reorderPercent)};
    FrameFate fate;
    if (lost)
        return fate;
    fate.duplicated = duplicated;
    for (int copy = 0; copy < (duplicated ? 2 : 1); ++copy) {
        fate.reordered = fate.reordered || held[copy];
        fate.departures.push_back(faults_.delay + (held[copy] ? faults_.reorderHold : std::chrono::microseconds(0)));
    }
    return fate;
}
