#include "columns/lower_bound.hpp"

#define LEMON_ONLY_TEMPLATES
#include <lemon/network_simplex.h>
#include <lemon/smart_graph.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <utility>
#include <vector>


namespace escala::columns {

std::int64_t idle_lower_bound(const l_tarefas& tasks, std::size_t members, const Rules& rules) {
    const Limits& l = rules.limits;
    if (std::int64_t{l.workday} > std::int64_t{l.split_workday} + l.split_gap + 1) return 0;
    std::int64_t minutes = 0, slack = 0;
    for (const Task& t : tasks) {
        if (t.slack < 0) return 0;
        minutes += std::int64_t{t.end_time} - t.start_time;
        slack += t.slack;
    }
    const std::int64_t n = static_cast<std::int64_t>(members);
    const std::int64_t longest_virtual = std::max(l.virtual_idle, l.virtual_short);
    const std::int64_t idle = l.workday * n - minutes - longest_virtual * n + slack;
    return idle > 0 ? idle * rules.weights.t_ocioso : 0;
}

namespace {

// Tasks in start order (ties by their place in the list), for the chains.
struct Chain {
    std::vector<std::size_t> positions;  // start-order positions of its tasks
    std::vector<lemon::SmartDigraph::Node> nodes;
};

}  // namespace

// The flow network: a source feeding every task's "in front" node, every
// task's "behind" node draining to the sink, and routes from a's front node
// to b's behind node that cost at least a link (a, b) and exactly that along
// the cheapest one. Rather than n x n arcs, every class of link has chains:
// the tasks that start at one point (any vehicle: a vehicle change), those
// of one vehicle (a point change), those of one vehicle starting at one
// point (free) and all tasks (both changes), each chain in start order, so
// that a task enters a chain behind its own position and reaches every later
// task of it. Tasks that start at the same minute before it in that order get
// arcs of their own.
std::int64_t link_lower_bound(const l_tarefas& tasks, std::size_t members, const Rules& rules) {
    const std::size_t n = tasks.size();
    if (n <= members) return 0;
    const std::int64_t links = static_cast<std::int64_t>(n - members);
    const std::int64_t vehicle_cost = rules.weights.t_veiculo, point_cost = rules.weights.tp_proibida;

    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return tasks[a].start_time < tasks[b].start_time; });
    std::vector<std::size_t> position(n);
    for (std::size_t p = 0; p < n; ++p) position[order[p]] = p;

    using Graph = lemon::SmartDigraph;
    Graph graph;
    Graph::ArcMap<std::int64_t> capacity(graph), cost(graph);
    auto arc = [&](Graph::Node from, Graph::Node to, std::int64_t cap, std::int64_t price) {
        const Graph::Arc a = graph.addArc(from, to);
        capacity[a] = cap;
        cost[a] = price;
    };
    const Graph::Node source = graph.addNode(), sink = graph.addNode();
    std::vector<Graph::Node> front(n), behind(n);
    for (std::size_t a = 0; a < n; ++a) {
        front[a] = graph.addNode();
        behind[a] = graph.addNode();
        arc(source, front[a], 1, 0);
        arc(behind[a], sink, 1, 0);
    }

    // The chains, keyed by kind and by point and vehicle.
    enum Kind { any, point, vehicle, both };
    std::map<std::tuple<int, std::int32_t, std::int32_t>, Chain> chains;
    auto chain_key = [](Kind kind, std::int32_t p, std::int32_t v) { return std::tuple<int, std::int32_t, std::int32_t>(kind, p, v); };
    for (std::size_t p = 0; p < n; ++p) {
        const Task& b = tasks[order[p]];
        chains[chain_key(any, 0, 0)].positions.push_back(p);
        chains[chain_key(point, b.start_point, 0)].positions.push_back(p);
        chains[chain_key(vehicle, 0, b.vehicle)].positions.push_back(p);
        chains[chain_key(both, b.start_point, b.vehicle)].positions.push_back(p);
    }
    for (auto& [key, chain] : chains) {
        for (std::size_t i = 0; i < chain.positions.size(); ++i) {
            chain.nodes.push_back(graph.addNode());
            arc(chain.nodes[i], behind[order[chain.positions[i]]], 1, 0);
            if (i > 0) arc(chain.nodes[i - 1], chain.nodes[i], links, 0);
        }
    }
    auto enter = [&](std::size_t a, Kind kind, std::int32_t p, std::int32_t v, std::int64_t price) {
        const auto found = chains.find(chain_key(kind, p, v));
        if (found == chains.end()) return;
        const Chain& chain = found->second;
        const auto next = std::upper_bound(chain.positions.begin(), chain.positions.end(), position[a]);
        if (next == chain.positions.end()) return;
        arc(front[a], chain.nodes[static_cast<std::size_t>(next - chain.positions.begin())], 1, price);
    };
    for (std::size_t a = 0; a < n; ++a) {
        const Task& t = tasks[a];
        enter(a, any, 0, 0, vehicle_cost + point_cost);
        enter(a, point, t.end_point, 0, vehicle_cost);
        enter(a, vehicle, 0, t.vehicle, point_cost);
        enter(a, both, t.end_point, t.vehicle, 0);
        // Equal starts placed before a in start order.
        for (std::size_t p = position[a]; p-- > 0 && tasks[order[p]].start_time == t.start_time;) {
            const Task& b = tasks[order[p]];
            arc(front[a], behind[order[p]], 1,
                (b.vehicle != t.vehicle ? vehicle_cost : 0) + (b.start_point != t.end_point ? point_cost : 0));
        }
    }

    Graph::NodeMap<std::int64_t> supply(graph, 0);
    supply[source] = links;
    supply[sink] = -links;
    lemon::NetworkSimplex<Graph, std::int64_t, std::int64_t> simplex(graph);
    simplex.upperMap(capacity).costMap(cost).supplyMap(supply);
    if (simplex.run() != decltype(simplex)::OPTIMAL) return 0;  // cannot happen: tasks in start order link up
    return simplex.totalCost<std::int64_t>();
}

ObjectiveBound objective_lower_bound(const l_tarefas& tasks, std::size_t members, const Rules& rules) {
    ObjectiveBound bound;
    bound.idle_part = idle_lower_bound(tasks, members, rules);
    bound.link_part = link_lower_bound(tasks, members, rules);
    bound.value =
        std::max<std::int64_t>(0, bound.idle_part + bound.link_part - 20 * std::int64_t{rules.weights.p_duplas});
    return bound;
}

double gap_percent(std::uint32_t objective, std::int64_t bound) {
    if (bound <= 0) return 0;
    return (static_cast<double>(objective) / static_cast<double>(bound) - 1) * 100;
}

}  // namespace escala::columns
