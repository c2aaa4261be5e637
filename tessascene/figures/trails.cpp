#include "tessascene/figures/trails.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace tessascene {

namespace {

// Component representatives for the vertices, joined along the edges (union-find).
class Components {
public:
    explicit Components(int n) : parent_(n) { std::iota(parent_.begin(), parent_.end(), 0); }

    int find(int v) {
        while (parent_[v] != v) {
            parent_[v] = parent_[parent_[v]];
            v = parent_[v];
        }
        return v;
    }
    void join(int a, int b) { parent_[find(a)] = find(b); }

private:
    std::vector<int> parent_;
};

std::vector<int> degrees(const EdgeGraph& graph) {
    std::vector<int> degree(graph.vertices.size(), 0);
    for (const auto& e : graph.edges) {
        ++degree[e.first];
        ++degree[e.second];
    }
    return degree;
}

// An Euler circuit of the component of start in a multigraph whose vertices all have even
// degree, found iteratively (Hierholzer). vertices has one more entry than edges; edges[i] is the
// id of the edge from vertices[i] to vertices[i + 1], and the last vertex equals the first.
struct Circuit {
    std::vector<int> vertices;
    std::vector<int> edges;
};

Circuit eulerCircuit(int start, const std::vector<std::vector<std::pair<int, int>>>& adjacent,
                     std::vector<char>& used, std::vector<size_t>& nextEdge) {
    Circuit circuit;
    std::vector<int> vertexStack = {start};
    std::vector<int> edgeStack = {-1};
    while (!vertexStack.empty()) {
        const int v = vertexStack.back();
        size_t& next = nextEdge[v];
        while (next < adjacent[v].size() && used[adjacent[v][next].second] != 0) {
            ++next;
        }
        if (next < adjacent[v].size()) {
            const auto [w, id] = adjacent[v][next];
            used[id] = 1;
            vertexStack.push_back(w);
            edgeStack.push_back(id);
        } else {
            // v is finished: it goes onto the circuit, built back to front.
            circuit.vertices.push_back(v);
            if (edgeStack.back() >= 0) {
                circuit.edges.push_back(edgeStack.back());
            }
            vertexStack.pop_back();
            edgeStack.pop_back();
        }
    }
    std::reverse(circuit.vertices.begin(), circuit.vertices.end());
    std::reverse(circuit.edges.begin(), circuit.edges.end());
    return circuit;
}

// Cuts a circuit at its added edges (ids from firstAdded on) into the trails between them.
void cutAtAddedEdges(const Circuit& circuit, int firstAdded, std::vector<Trail>& trails) {
    const int k = static_cast<int>(circuit.edges.size());
    int firstCut = -1;
    for (int i = 0; i < k && firstCut < 0; ++i) {
        if (circuit.edges[i] >= firstAdded) {
            firstCut = i;
        }
    }
    if (firstCut < 0) {
        trails.push_back(circuit.vertices);
        return;
    }
    // Walk once round the circuit from just after the first cut. Two added edges never meet at
    // one vertex (each odd vertex gets one), so no trail comes out empty.
    Trail current = {circuit.vertices[(firstCut + 1) % k]};
    for (int step = 1; step <= k; ++step) {
        const int i = (firstCut + step) % k;
        if (circuit.edges[i] >= firstAdded) {
            trails.push_back(current);
            current = {circuit.vertices[(i + 1) % k]};
        } else {
            current.push_back(circuit.vertices[i + 1]);
        }
    }
}

// needed polylines against the capacity; atLeast: needed is a lower bound.
std::string tooMany(size_t needed, int capacity, bool atLeast = false) {
    return "the figure needs " + std::string(atLeast ? "at least " : "") + std::to_string(needed) +
           " polylines; a figure holds at most " + std::to_string(capacity) + ", " +
           std::to_string(needed - capacity) + " too many";
}

// Joins odd-degree vertices in pairs along shortest paths of at most maxRetrace edges, taking
// the odd vertices in index order and each to the nearest odd vertex not yet joined (breadth
// first, at most kRetraceSearch vertices visited). Each path's edges are appended to edges a
// second time and both ends marked in joined.
void retraceShortPaths(const EdgeGraph& graph, const std::vector<int>& degree, int maxRetrace,
                       std::vector<std::pair<int, int>>& edges, std::vector<char>& joined) {
    constexpr std::size_t kRetraceSearch = 512;
    const int n = static_cast<int>(graph.vertices.size());
    std::vector<std::vector<int>> neighbours(n);
    for (const auto& e : graph.edges) {
        neighbours[e.first].push_back(e.second);
        neighbours[e.second].push_back(e.first);
    }
    std::vector<int> seenBy(n, -1), parent(n, -1), depth(n, 0);
    std::vector<int> queue;
    for (int v = 0; v < n; ++v) {
        if (degree[v] % 2 == 0 || joined[v] != 0) {
            continue;
        }
        queue.assign(1, v);
        seenBy[v] = v;
        depth[v] = 0;
        int found = -1;
        for (std::size_t head = 0; head < queue.size() && found < 0; ++head) {
            const int u = queue[head];
            if (depth[u] == maxRetrace) {
                continue;
            }
            for (int w : neighbours[u]) {
                if (seenBy[w] == v || queue.size() >= kRetraceSearch) {
                    continue;
                }
                seenBy[w] = v;
                parent[w] = u;
                depth[w] = depth[u] + 1;
                queue.push_back(w);
                if (degree[w] % 2 != 0 && joined[w] == 0) {
                    found = w;
                    break;
                }
            }
        }
        if (found >= 0) {
            joined[v] = joined[found] = 1;
            for (int w = found; w != v; w = parent[w]) {
                edges.emplace_back(std::min(w, parent[w]), std::max(w, parent[w]));
            }
        }
    }
}

// The polylines the trails take when drawn open, perPolyline vertices at most each.
std::size_t openPolylines(const std::vector<Trail>& trails, std::size_t perPolyline) {
    std::size_t count = 0;
    for (const Trail& trail : trails) {
        count += cutOpenPath(trail.size(), perPolyline).size();
    }
    return count;
}

}  // namespace

std::vector<Trail> decomposeIntoTrails(const EdgeGraph& graph) {
    return coverWithTrails(graph, 0);
}

std::vector<Trail> coverWithTrails(const EdgeGraph& graph, int maxRetrace) {
    const int n = static_cast<int>(graph.vertices.size());
    const std::vector<int> degree = degrees(graph);

    Components components(n);
    for (const auto& e : graph.edges) {
        components.join(e.first, e.second);
    }

    // Odd vertices joined by a retraced path are even once its edges are drawn a second time;
    // those edges count as real ones, so the circuit is not cut there.
    std::vector<std::pair<int, int>> edges = graph.edges;
    std::vector<char> joined(n, 0);
    if (maxRetrace > 0) {
        retraceShortPaths(graph, degree, maxRetrace, edges, joined);
    }
    const int realEdges = static_cast<int>(edges.size());

    // Pair the other odd vertices of each component with added edges, so that every degree is
    // even.
    std::vector<std::pair<int, int>> odd;  // (component, vertex)
    for (int v = 0; v < n; ++v) {
        if (degree[v] % 2 != 0 && joined[v] == 0) {
            odd.emplace_back(components.find(v), v);
        }
    }
    std::sort(odd.begin(), odd.end());  // each component has an even number of odd vertices
    for (size_t i = 0; i + 1 < odd.size(); i += 2) {
        edges.emplace_back(odd[i].second, odd[i + 1].second);
    }

    std::vector<std::vector<std::pair<int, int>>> adjacent(n);
    for (int id = 0; id < static_cast<int>(edges.size()); ++id) {
        adjacent[edges[id].first].emplace_back(edges[id].second, id);
        adjacent[edges[id].second].emplace_back(edges[id].first, id);
    }

    std::vector<Trail> trails;
    std::vector<char> used(edges.size(), 0);
    std::vector<size_t> nextEdge(n, 0);
    std::vector<char> componentDone(n, 0);
    for (int v = 0; v < n; ++v) {
        const int component = components.find(v);
        if (degree[v] == 0 || componentDone[component] != 0) {
            continue;
        }
        componentDone[component] = 1;
        // Start at an odd vertex when there is one, so an open trail tends to come first.
        int start = v;
        for (const auto& [c, w] : odd) {
            if (c == component) {
                start = w;
                break;
            }
        }
        cutAtAddedEdges(eulerCircuit(start, adjacent, used, nextEdge), realEdges, trails);
    }
    return trails;
}

SplitResult splitClosedTrail(const Trail& closed, int maxEdges, std::size_t maxPieces,
                             std::vector<Trail>& pieces) {
    pieces.clear();
    Trail rest = closed;
    std::vector<std::pair<int, int>> passes;  // (vertex, position), reused
    std::vector<int> firstPass;               // per vertex, reused
    while (static_cast<int>(rest.size()) - 1 > maxEdges) {
        if (pieces.size() + 2 > maxPieces) {
            pieces.clear();  // rest needs at least two more pieces
            return SplitResult::kTooMany;
        }
        const int k = static_cast<int>(rest.size()) - 1;
        // Where each vertex is passed (position k repeats position 0 and is left out), grouped
        // by vertex in increasing order and within a vertex by position (a counting sort).
        const int vertexCount = *std::max_element(rest.begin(), rest.end()) + 1;
        firstPass.assign(static_cast<size_t>(vertexCount) + 1, 0);
        for (int i = 0; i < k; ++i) {
            ++firstPass[static_cast<size_t>(rest[i]) + 1];
        }
        std::partial_sum(firstPass.begin(), firstPass.end(), firstPass.begin());
        passes.resize(static_cast<size_t>(k));
        for (int i = 0; i < k; ++i) {
            passes[static_cast<size_t>(firstPass[static_cast<size_t>(rest[i])]++)] = {rest[i], i};
        }

        // Two passes a < b of one vertex cut the trail into the closed inner part a..b and the
        // closed outer part b..k, 1..a. Take off the longest part that fits; of equally long
        // ones the first in the order (vertex, a, b), an inner part before an outer one. For
        // each a the longest inner part ends at the last b with b - a <= maxEdges, the longest
        // outer part at the first b with b - a >= k - maxEdges.
        int bestLength = 0, bestA = 0, bestB = 0;
        bool bestInner = true;
        for (size_t runStart = 0; runStart < passes.size();) {
            size_t runEnd = runStart;
            while (runEnd < passes.size() && passes[runEnd].first == passes[runStart].first) {
                ++runEnd;
            }
            size_t lastInner = runStart, firstOuter = runStart;  // candidate b indices
            for (size_t s = runStart; s < runEnd; ++s) {
                const int a = passes[s].second;
                lastInner = std::max(lastInner, s);
                while (lastInner + 1 < runEnd && passes[lastInner + 1].second - a <= maxEdges) {
                    ++lastInner;
                }
                firstOuter = std::max(firstOuter, s + 1);
                while (firstOuter < runEnd && passes[firstOuter].second - a < k - maxEdges) {
                    ++firstOuter;
                }
                const int inner = lastInner > s ? passes[lastInner].second - a : 0;
                const int outer = firstOuter < runEnd ? k - (passes[firstOuter].second - a) : 0;
                const bool innerFirst =
                    inner >= outer && (inner > outer || lastInner <= firstOuter);
                const int length = innerFirst ? inner : outer;
                if (length > bestLength) {
                    bestLength = length, bestA = a, bestInner = innerFirst;
                    bestB = passes[innerFirst ? lastInner : firstOuter].second;
                }
            }
            runStart = runEnd;
        }
        if (bestLength == 0) {
            pieces.clear();
            return SplitResult::kNoCut;
        }
        Trail innerPart(rest.begin() + bestA, rest.begin() + bestB + 1);
        Trail outerPart(rest.begin() + bestB, rest.end());
        outerPart.insert(outerPart.end(), rest.begin() + 1, rest.begin() + bestA + 1);
        pieces.push_back(bestInner ? innerPart : outerPart);
        rest = bestInner ? outerPart : innerPart;
    }
    pieces.push_back(rest);
    return SplitResult::kDone;
}

std::vector<Trail> openTrails(const EdgeGraph& graph, const FigureCapacity& capacity) {
    const std::size_t perPolyline = static_cast<std::size_t>(capacity.vertices);
    std::vector<Trail> trails = decomposeIntoTrails(graph);
    if (openPolylines(trails, perPolyline) > static_cast<size_t>(capacity.polylines)) {
        // Each pair of odd vertices begins a trail: join near ones by drawing the path between
        // them twice instead, which costs an edge or two each and no polyline.
        std::vector<Trail> joined = coverWithTrails(graph, kMaxRetrace);
        if (openPolylines(joined, perPolyline) < openPolylines(trails, perPolyline)) {
            trails = std::move(joined);
        }
    }
    return trails;
}

std::size_t openPolylinesNeeded(const EdgeGraph& graph, const FigureCapacity& capacity) {
    return openPolylines(openTrails(graph, capacity), static_cast<std::size_t>(capacity.vertices));
}

std::vector<PathPiece> cutOpenPath(std::size_t count, std::size_t perPolyline) {
    if (count <= perPolyline) {
        return {PathPiece{0, count - 1}};
    }
    // A piece of perPolyline points covers perPolyline - 1 segments.
    std::vector<PathPiece> pieces;
    for (std::size_t first = 0; first + 1 < count; first += perPolyline - 1) {
        pieces.push_back(PathPiece{first, std::min(first + perPolyline - 1, count - 1)});
    }
    return pieces;
}

bool layoutPolylines(const EdgeGraph& graph, int lineLoop, const FigureCapacity& capacity,
                     std::vector<std::vector<int>>& polylines, std::string& error) {
    polylines.clear();
    const int perPolyline = capacity.vertices;
    if (lineLoop == kLineLoopPoints) {
        const int n = static_cast<int>(graph.vertices.size());
        if (n == 0) {
            error = "the figure has no vertices";
            return false;
        }
        for (int first = 0; first < n; first += perPolyline) {
            std::vector<int> run(std::min(perPolyline, n - first));
            std::iota(run.begin(), run.end(), first);
            polylines.push_back(run);
        }
    } else if (lineLoop == kLineLoopOpen || lineLoop == kLineLoopClosed) {
        if (graph.edges.empty()) {
            error = "the figure has no edges; line-loop 3 shows its vertices as points";
            return false;
        }
        if (lineLoop == kLineLoopClosed) {
            const std::vector<int> degree = degrees(graph);
            const auto oddCount =
                std::count_if(degree.begin(), degree.end(), [](int d) { return d % 2 != 0; });
            if (oddCount > 0) {
                error = "line-loop 1 closes every polyline, but " + std::to_string(oddCount) +
                        " vertices have an odd number of edges, so the edges do not form closed "
                        "loops; use line-loop 0";
                return false;
            }
        }
        // A closed loop draws at most perPolyline edges: a figure with more edges than all loops
        // can draw is refused before any trail is split.
        const size_t fewestLoops = (graph.edges.size() + perPolyline - 1) / perPolyline;
        if (lineLoop == kLineLoopClosed && fewestLoops > static_cast<size_t>(capacity.polylines)) {
            error = tooMany(fewestLoops, capacity.polylines, true) + "; use line-loop 0";
            return false;
        }
        const std::vector<Trail> trails =
            lineLoop == kLineLoopOpen ? openTrails(graph, capacity) : decomposeIntoTrails(graph);
        for (const Trail& trail : trails) {
            const int edges = static_cast<int>(trail.size()) - 1;
            if (lineLoop == kLineLoopClosed) {
                const size_t room = static_cast<size_t>(capacity.polylines) -
                                    std::min(polylines.size(), size_t(capacity.polylines));
                std::vector<Trail> loops;
                const SplitResult result = splitClosedTrail(trail, perPolyline, room, loops);
                if (result == SplitResult::kTooMany) {
                    error = "the figure needs more than " + std::to_string(capacity.polylines) +
                            " closed loops of at most " + std::to_string(perPolyline) +
                            " vertices; a figure holds at most " +
                            std::to_string(capacity.polylines) + "; use line-loop 0";
                    return false;
                }
                if (result == SplitResult::kNoCut) {
                    error = "a closed loop of " + std::to_string(edges) +
                            " edges cannot be cut into loops of at most " +
                            std::to_string(perPolyline) + " vertices; use line-loop 0";
                    return false;
                }
                for (const Trail& loop : loops) {
                    polylines.emplace_back(loop.begin(), loop.end() - 1);  // drawn closed
                }
            } else {
                for (const PathPiece& piece :
                     cutOpenPath(trail.size(), static_cast<std::size_t>(perPolyline))) {
                    polylines.emplace_back(trail.begin() + piece.first,
                                           trail.begin() + piece.last + 1);
                }
            }
        }
    } else {
        error = "the line-loop value must be 0, 1 or 3";
        return false;
    }
    if (static_cast<int>(polylines.size()) > capacity.polylines) {
        error = tooMany(polylines.size(), capacity.polylines);
        polylines.clear();
        return false;
    }
    return true;
}

}  // namespace tessascene
