// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/latencySweep.h"

std::vector<int> LatencySweep::latencies() const {
    std::vector<int> values;
    for (long long ms = fromMs; ms <= toMs && stepMs > 0; ms += stepMs) {
        values.push_back(static_cast<int>(ms));
    }
    return values;
}
