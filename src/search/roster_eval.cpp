#include "search/roster_eval.hpp"

namespace escala {

void RosterEvaluator::rebuild(const Crew& crew, Member& member) {
    member.cache.refresh(crew);
    member.share = member.cache.current().objective_share();
    member.removal_delta.resize(member.cache.real_count());
    for (std::size_t k = 0; k < member.removal_delta.size(); ++k)
        member.removal_delta[k] = member.cache.without_task(k).objective_share() - member.share;
    member.version = next_version_++;
}

void RosterEvaluator::attach(const v_crew& members) {
    members_.resize(members.size());
    blocks_.resize(members.size() * members.size());
    for (std::size_t m = 0; m < members.size(); ++m) rebuild(members[m], members_[m]);
}

void RosterEvaluator::refresh(const v_crew& members, std::size_t m) { rebuild(members[m], members_[m]); }

const std::uint32_t* RosterEvaluator::insertion_shares(std::size_t a, std::size_t b) {
    const Member& giver = members_[a];
    const Member& receiver = members_[b];
    Block& block = blocks_[a * members_.size() + b];
    if (block.giver_version != giver.version || block.receiver_version != receiver.version) {
        const std::size_t n = giver.cache.real_count();
        block.shares.resize(n);
        // The giver's tasks are in start order, so their slots only move forward.
        std::size_t slot = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const Task& task = giver.cache.real_task(k);
            slot = receiver.cache.next_slot(slot, task);
            block.shares[k] = receiver.cache.with_task_at(slot, task).objective_share();
        }
        block.giver_version = giver.version;
        block.receiver_version = receiver.version;
    }
    return block.shares.data();
}

}  // namespace escala
