#include "search/roster_eval.hpp"

#include <limits>

namespace escala {

std::uint32_t RosterEvaluator::new_version() {
    if (next_version_ == std::numeric_limits<std::uint32_t>::max()) {
        // Versions are about to repeat: forget everything computed and start again.
        forget_computed();
        next_version_ = 1;
        for (std::uint32_t& version : version_) version = next_version_++;
    }
    return next_version_++;
}

void RosterEvaluator::forget_computed() {
    for (Block& block : blocks_) block = Block{};
}

void RosterEvaluator::rebuild(const Crew& crew, std::size_t m) {
    Member& member = members_[m];
    member.cache.refresh(crew);
    share_[m] = member.cache.current().objective_share();
    const std::size_t n = member.cache.real_count();
    member.removal_share.resize(n);
    member.removal_delta.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        member.removal_share[k] = member.cache.without_task(k).objective_share();
        member.removal_delta[k] = member.removal_share[k] - share_[m];
    }
    version_[m] = new_version();
}

void RosterEvaluator::attach(const v_crew& members) {
    const std::size_t size = members.size();
    size_ = size;
    members_.resize(size);
    share_.assign(size, 0);
    version_.assign(size, 0);
    for (std::size_t m = 0; m < size; ++m) rebuild(members[m], m);
    blocks_.assign(size * size, Block{});
}

void RosterEvaluator::moved(const v_crew& members, std::size_t from, std::size_t to) {
    rebuild(members[from], from);
    rebuild(members[to], to);
}

}  // namespace escala
