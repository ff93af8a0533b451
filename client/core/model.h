// The base of every component model: it holds what its component holds and
// tells its observers when that changes. Kits observe models and render them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "client/kit/component.h"

namespace navlet {

class TModel : public TComponent {
    struct TEntry;
    struct TObserverList;

  public:
    using TObserver = std::function<void()>;

    // One observer's hold on a model. Destroying it unobserves; when the model
    // ends first, the observer's onEnd is called and the hold becomes empty,
    // so nobody ever unobserves, or reaches, a model that is gone.
    class TObservation {
      public:
        TObservation() = default;
        TObservation(TObservation&&) noexcept = default;
        TObservation& operator=(TObservation&& other) noexcept;
        TObservation(const TObservation&) = delete;
        TObservation& operator=(const TObservation&) = delete;
        ~TObservation() { End(); }
        // True while the model lives.
        bool Active() const;
        void End();

      private:
        friend class TModel;
        TObservation(std::weak_ptr<TObserverList> l, int t) : list(std::move(l)), token(t) {}
        std::weak_ptr<TObserverList> list;
        int token = 0;
    };

    TModel();
    TModel(const TModel&) = delete;
    TModel& operator=(const TModel&) = delete;
    // Tells every observer's onEnd. The model is half destroyed by then: an
    // onEnd must not touch it.
    virtual ~TModel();

    // onChange runs after each change; onEnd once, when the model is destroyed.
    // An observer may end its own or other observations, or add others, while
    // being told; those added then hear of the next change only.
    [[nodiscard]] TObservation Watch(TObserver onChange, TObserver onEnd = {});

  protected:
    // Tells every observer, in the order they came.
    void Changed();

  private:
    std::shared_ptr<TObserverList> observers;
};

} // namespace navlet
