// SPDX-License-Identifier: BSD-2-Clause
#include "rtp/capture/call_pairing.h"

#include <string>
#include <utility>

namespace g723::rtp {

namespace {

using direction = std::pair<endpoint, endpoint>;  // source, destination

// The Call-ID whose SDP announced where `to` receives, if any.
const std::string* announced_call(const endpoint& to,
                                  const std::map<endpoint, announced_media>& announced) {
    const auto found = announced.find(to);
    if (found == announced.end() || found->second.call_id.empty()) return nullptr;
    return &found->second.call_id;
}

}  // namespace

std::vector<call_directions> pair_calls(std::span<const stream_key> keys,
                                        const std::map<endpoint, announced_media>& announced) {
    // Directions in the order their first stream started.
    std::vector<direction> directions;
    std::vector<std::vector<std::size_t>> members;
    std::map<direction, std::size_t> index_of;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const direction here{keys[i].source, keys[i].destination};
        const auto [at, added] = index_of.try_emplace(here, directions.size());
        if (added) {
            directions.push_back(here);
            members.emplace_back();
        }
        members[at->second].push_back(i);
    }
    // Directions by the call SDP announced their destination in.
    std::map<std::string, std::vector<std::size_t>> by_call;
    for (std::size_t d = 0; d < directions.size(); ++d) {
        if (const std::string* call = announced_call(directions[d].second, announced)) {
            by_call[*call].push_back(d);
        }
    }

    std::vector<call_directions> calls;
    std::vector<bool> paired(directions.size(), false);
    const auto pair = [&](std::size_t a, std::size_t b) {
        paired[a] = paired[b] = true;
        calls.push_back({members[a], members[b]});
    };
    for (std::size_t a = 0; a < directions.size(); ++a) {
        if (paired[a]) continue;
        const auto& [source, destination] = directions[a];
        // Offer and answer name both ends, whichever ports they send from.
        if (const std::string* call = announced_call(destination, announced)) {
            for (const std::size_t b : by_call[*call]) {
                if (b > a && !paired[b] && directions[b].second != destination) {
                    pair(a, b);
                    break;
                }
            }
            if (paired[a]) continue;
        }
        // Otherwise each direction goes where the other comes from.
        const auto reverse = index_of.find({destination, source});
        if (reverse != index_of.end() && reverse->second > a && !paired[reverse->second] &&
            (announced_call(source, announced) == nullptr ||
             announced_call(destination, announced) == nullptr)) {
            pair(a, reverse->second);
        }
    }
    return calls;
}

}  // namespace g723::rtp
