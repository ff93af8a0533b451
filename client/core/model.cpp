#include "client/core/model.h"

#include <algorithm>

namespace navlet {

int TModel::Observe(TObserver observer) {
    observers.push_back({nextToken, std::move(observer)});
    return nextToken++;
}

void TModel::Unobserve(int token) {
    std::erase_if(observers, [token](const TEntry& e) { return e.token == token; });
}

void TModel::Changed() {
    // Observers may change the list while being told: walk a snapshot of the
    // tokens and look each one up again before calling it.
    std::vector<int> tokens;
    tokens.reserve(observers.size());
    for (const TEntry& e : observers)
        tokens.push_back(e.token);
    for (int token : tokens) {
        auto it = std::find_if(observers.begin(), observers.end(),
                               [token](const TEntry& e) { return e.token == token; });
        if (it == observers.end())
            continue;
        TObserver copy = it->observer;
        copy();
    }
}

} // namespace navlet
