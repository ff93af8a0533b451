#include "client/core/model.h"

#include <algorithm>

namespace navlet {

struct TModel::TEntry {
    int token;
    TObserver onChange;
    TObserver onEnd;
};

struct TModel::TObserverList {
    std::vector<TEntry> entries;
    int nextToken = 1;
    bool ended = false; // the model is gone; a walk still holding the list stops

    int Add(TObserver onChange, TObserver onEnd) {
        entries.push_back({nextToken, std::move(onChange), std::move(onEnd)});
        return nextToken++;
    }
    void Remove(int token) {
        std::erase_if(entries, [token](const TEntry& e) { return e.token == token; });
    }
};

TModel::TObservation& TModel::TObservation::operator=(TObservation&& other) noexcept {
    if (this != &other) {
        End();
        list = std::move(other.list);
        token = other.token;
        other.list.reset();
    }
    return *this;
}

bool TModel::TObservation::Active() const {
    auto l = list.lock();
    return l && !l->ended;
}

void TModel::TObservation::End() {
    if (auto l = list.lock())
        l->Remove(token);
    list.reset();
}

TModel::TModel() : observers(std::make_shared<TObserverList>()) {}

TModel::~TModel() {
    // Observations expire with the list; tell them afterwards, from copies, so
    // an onEnd that ends its own observation finds nothing left to remove.
    std::vector<TObserver> ends;
    for (TEntry& e : observers->entries)
        if (e.onEnd)
            ends.push_back(std::move(e.onEnd));
    observers->entries.clear();
    observers->ended = true;
    observers.reset();
    for (TObserver& end : ends)
        end();
}

TModel::TObservation TModel::Watch(TObserver onChange, TObserver onEnd) {
    const int token = observers->Add(std::move(onChange), std::move(onEnd));
    return TObservation(observers, token);
}

void TModel::Changed() {
    // Observers may change the list, or end the model's owner's interest in
    // it, while being told: walk a snapshot of the tokens and look each one up
    // again before calling it. The list is held so a model destroyed by an
    // observer leaves the walk safe.
    std::shared_ptr<TObserverList> list = observers;
    std::vector<int> tokens;
    tokens.reserve(list->entries.size());
    for (const TEntry& e : list->entries)
        tokens.push_back(e.token);
    for (int token : tokens) {
        auto it = std::find_if(list->entries.begin(), list->entries.end(),
                               [token](const TEntry& e) { return e.token == token; });
        if (it == list->entries.end())
            continue;
        TObserver copy = it->onChange;
        copy();
    }
}

} // namespace navlet
