#include "call_pairing.h"

#include <utility>

namespace g723::tool {

namespace {

using direction = std::pair<endpoint, endpoint>;  // source, destination

bool same_call(const direction& a, const direction& b,
               const std::map<endpoint, announced_media>& announced) {
    if (a.second == b.second) return false;
    const auto at_a = announced.find(a.second);
    const auto at_b = announced.find(b.second);
    if (at_a != announced.end() && at_b != announced.end() && !at_a->second.call_id.empty()) {
        return at_a->second.call_id == at_b->second.call_id;
    }
    return a.first == b.second && a.second == b.first;
}

}  // namespace

std::vector<call_directions> pair_calls(std::span<const stream_key> keys,
                                        const std::map<endpoint, announced_media>& announced) {
    // Directions in the order their first stream started.
    std::vector<direction> directions;
    std::vector<std::vector<std::size_t>> members;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const direction here{keys[i].source, keys[i].destination};
        std::size_t at = 0;
        while (at < directions.size() && directions[at] != here) ++at;
        if (at == directions.size()) {
            directions.push_back(here);
            members.emplace_back();
        }
        members[at].push_back(i);
    }

    std::vector<call_directions> calls;
    std::vector<bool> paired(directions.size(), false);
    for (std::size_t a = 0; a < directions.size(); ++a) {
        if (paired[a]) continue;
        for (std::size_t b = a + 1; b < directions.size(); ++b) {
            if (paired[b] || !same_call(directions[a], directions[b], announced)) continue;
            paired[a] = paired[b] = true;
            calls.push_back({members[a], members[b]});
            break;
        }
    }
    return calls;
}

}  // namespace g723::tool
