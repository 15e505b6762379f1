#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// What the frame relay does to each frame it forwards: the same delay for all, and
// losses, duplicates and reorderings drawn from a seeded generator, so that a trial
// can be run again with the same faults in the same places.
struct FrameFaults {
    std::chrono::microseconds delay{0};
    double lossPercent = 0;
    double duplicatePercent = 0;
    double reorderPercent = 0;
    // How much longer than the others a reordered frame is held: whatever the same
    // side sends meanwhile overtakes it.
    std::chrono::microseconds reorderHold{20000};
    uint64_t seed = 1;
};

// Reads "--delay-us N --loss PCT --duplicate PCT --reorder PCT --reorder-hold-us N
// --seed N" in any order; raises std::invalid_argument naming the bad word.
FrameFaults ParseFrameFaults(const std::vector<std::string>& args);

// The fate of one frame: how long after its arrival each of its copies leaves. A lost
// frame has no copies, a duplicated one has two.
struct FrameFate {
    std::vector<std::chrono::microseconds> departures;
    bool duplicated = false;
    bool reordered = false;
};

class FaultDice {
public:
    explicit FaultDice(const FrameFaults& faults);

    FrameFate Roll();

private:
    bool Chance(double percent);

    FrameFaults faults_;
    std::mt19937_64 random_;
};
