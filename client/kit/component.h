// What the kit knows of the bar's components: that they exist. A kit keeps
// its own record of which widget shows which component and compares only
// their addresses; the component models themselves are the core's.
#pragma once

namespace navlet {

class TComponent {
  public:
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    virtual ~TComponent() = default;

  protected:
    TComponent() = default;
};

} // namespace navlet
