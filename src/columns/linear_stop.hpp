// Ends a CLP simplex run when asked to stop (the time is up, or Ctrl-C).
#pragma once

#include <ClpEventHandler.hpp>

#include <functional>
#include <utility>

namespace escala::columns {

class LinearStop : public ClpEventHandler {
public:
    explicit LinearStop(std::function<bool()> stop) : stop_(std::move(stop)) {}
    int event(Event which) override { return which == endOfIteration && stop_ && stop_() ? 0 : -1; }
    ClpEventHandler* clone() const override { return new LinearStop(*this); }

private:
    std::function<bool()> stop_;
};

}  // namespace escala::columns
