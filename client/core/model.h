// The base of every component model: it holds what its component holds and
// tells its observers when that changes. Kits observe models and render them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "client/kit/component.h"

namespace navlet {

class TModel : public TComponent {
  public:
    using TObserver = std::function<void()>;

    // Returns a token for Unobserve. An observer may unobserve itself, or add
    // others, while being told; those added then hear of the next change only.
    int Observe(TObserver observer);
    void Unobserve(int token);

  protected:
    // Tells every observer, in the order they came.
    void Changed();

  private:
    struct TEntry {
        int token;
        TObserver observer;
    };
    std::vector<TEntry> observers;
    int nextToken = 1;
};

} // namespace navlet
