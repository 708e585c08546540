// Adjacency, cleaning, validation, normals and reordering of indexed triangle lists.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include <meshoptimizer.h>

#include "mesh_internal.h"
#include "pmesh.h"

namespace zr::d3dx9::pmesh {
namespace detail {

void CheckFaces(std::span<const Face> faces, std::size_t vertexCount) {
  for (std::size_t f = 0; f < faces.size(); ++f) {
    for (std::uint32_t v : faces[f]) {
      if (v >= vertexCount) {
        throw std::invalid_argument("face " + std::to_string(f) + " names vertex " + std::to_string(v) +
                                    " of " + std::to_string(vertexCount));
      }
    }
  }
}

namespace {

float Distance2(const Float3& a, const Float3& b) noexcept {
  const float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return dx * dx + dy * dy + dz * dz;
}

// How far the edge (a, b) of one face is from the edge (c, d) of another when they are joined
// in opposite directions (a meets d, b meets c).
float OppositeMismatch(std::span<const Float3> p, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                       std::uint32_t d) noexcept {
  return (a == d ? 0.0f : Distance2(p[a], p[d])) + (b == c ? 0.0f : Distance2(p[b], p[c]));
}

}  // namespace

std::uint32_t BackEdge(std::span<const Face> faces, std::span<const std::uint32_t> adjacency,
                       std::span<const Float3> positions, std::uint32_t face, std::uint32_t edge,
                       std::uint32_t other) {
  std::uint32_t best = kNone;
  float bestMismatch = 0.0f;
  const std::uint32_t a = faces[face][edge], b = faces[face][(edge + 1) % 3];
  for (std::uint32_t j = 0; j < 3; ++j) {
    if (adjacency[other * 3 + j] != face) continue;
    const float m = OppositeMismatch(positions, a, b, faces[other][j], faces[other][(j + 1) % 3]);
    if (best == kNone || m < bestMismatch) {
      best = j;
      bestMismatch = m;
    }
  }
  return best;
}

std::vector<std::uint32_t> WeldByAdjacency(std::span<const Face> faces,
                                           std::span<const std::uint32_t> adjacency,
                                           std::span<const Float3> positions) {
  DisjointSets sets(positions.size());
  const auto faceCount = static_cast<std::uint32_t>(faces.size());
  for (std::uint32_t f = 0; f < faceCount; ++f) {
    for (std::uint32_t i = 0; i < 3; ++i) {
      const std::uint32_t g = adjacency[f * 3 + i];
      if (g == kNone || g >= faceCount || g <= f) continue;
      const std::uint32_t j = BackEdge(faces, adjacency, positions, f, i, g);
      if (j == kNone) continue;
      const std::uint32_t a = faces[f][i], b = faces[f][(i + 1) % 3];
      const std::uint32_t c = faces[g][j], d = faces[g][(j + 1) % 3];
      // A link between faces wound against each other would join far corners: leave it.
      const float opposite = OppositeMismatch(positions, a, b, c, d);
      const float same = OppositeMismatch(positions, a, b, d, c);
      if (opposite > same) continue;
      sets.Unite(a, d);
      sets.Unite(b, c);
    }
  }
  std::vector<std::uint32_t> rep(positions.size());
  for (std::uint32_t v = 0; v < rep.size(); ++v) rep[v] = sets.Find(v);
  return rep;
}

std::vector<std::uint32_t> ResolveSeamKeys(const MeshInput& mesh) {
  const std::size_t n = mesh.positions.size();
  if (!mesh.seamKeys.empty()) return mesh.seamKeys;
  if (mesh.payloadStride > 0 && !mesh.payload.empty()) {
    const ByteRange all{0, mesh.payloadStride};
    return SeamKeysFromBytes(mesh.payload, mesh.payloadStride, std::span(&all, 1));
  }
  std::vector<std::uint32_t> keys(n);
  std::iota(keys.begin(), keys.end(), 0u);
  return keys;
}

VertexFaces FacesAroundVertices(std::span<const Face> faces, std::size_t vertexCount) {
  VertexFaces out;
  out.start.assign(vertexCount + 1, 0);
  for (const Face& face : faces) {
    for (std::uint32_t v : face) ++out.start[v + 1];
  }
  for (std::size_t v = 0; v < vertexCount; ++v) out.start[v + 1] += out.start[v];
  out.faces.resize(out.start.back());
  std::vector<std::uint32_t> fill(out.start.begin(), out.start.end() - 1);
  for (std::uint32_t f = 0; f < faces.size(); ++f) {
    for (std::uint32_t k = 0; k < 3; ++k) {
      const std::uint32_t v = faces[f][k];
      // A face naming the vertex twice is listed once.
      if ((k > 0 && faces[f][0] == v) || (k > 1 && faces[f][1] == v)) continue;
      out.faces[fill[v]++] = f;
    }
  }
  // Shrink the lists of vertices a face named twice.
  std::uint32_t write = 0;
  for (std::size_t v = 0; v < vertexCount; ++v) {
    const std::uint32_t begin = out.start[v];
    out.start[v] = write;
    for (std::uint32_t i = begin; i < fill[v]; ++i) out.faces[write++] = out.faces[i];
  }
  out.start[vertexCount] = write;
  out.faces.resize(write);
  return out;
}

std::uint32_t FansAround(std::span<const Face> faces, std::span<const std::uint32_t> adjacency,
                         std::uint32_t vertex, std::span<const std::uint32_t> around,
                         std::vector<std::uint32_t>& fanOf) {
  // `around` is sorted (faces in order), so a face's place is a binary search away.
  auto local = [&](std::uint32_t face) -> std::uint32_t {
    const auto it = std::lower_bound(around.begin(), around.end(), face);
    return (it != around.end() && *it == face) ? static_cast<std::uint32_t>(it - around.begin()) : kNone;
  };
  DisjointSets sets(around.size());
  for (std::uint32_t k = 0; k < around.size(); ++k) {
    const std::uint32_t f = around[k];
    for (std::uint32_t c = 0; c < 3; ++c) {
      if (faces[f][c] != vertex) continue;
      for (std::uint32_t edge : {c, (c + 2) % 3}) {
        const std::uint32_t g = adjacency[f * 3 + edge];
        if (g == kNone || g >= faces.size()) continue;
        const std::uint32_t other = local(g);
        if (other != kNone) sets.Unite(k, other);
      }
    }
  }
  fanOf.assign(around.size(), kNone);
  std::uint32_t fans = 0;
  for (std::uint32_t k = 0; k < around.size(); ++k) {
    const std::uint32_t root = sets.Find(k);
    if (fanOf[root] == kNone) fanOf[root] = fans++;
    fanOf[k] = fanOf[root];
  }
  return fans;
}

}  // namespace detail

using detail::DisjointSets;

// ---- Point representatives and adjacency ----------------------------------------------------

std::vector<std::uint32_t> PointReps(std::span<const Float3> positions, float epsilon) {
  const auto n = static_cast<std::uint32_t>(positions.size());
  DisjointSets sets(n);
  std::vector<std::uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  // NaN never coincides with anything and sorts last; -0 and +0 are one place.
  auto key = [&](std::uint32_t v) {
    const Float3& p = positions[v];
    return std::tuple(std::isnan(p[0]), std::isnan(p[0]) ? 0.0f : p[0], std::isnan(p[1]),
                      std::isnan(p[1]) ? 0.0f : p[1], std::isnan(p[2]), std::isnan(p[2]) ? 0.0f : p[2]);
  };
  auto usable = [&](std::uint32_t v) {
    return !std::isnan(positions[v][0]) && !std::isnan(positions[v][1]) && !std::isnan(positions[v][2]);
  };
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
  if (!(epsilon > 0.0f)) {
    for (std::uint32_t i = 1; i < n; ++i) {
      if (usable(order[i]) && key(order[i]) == key(order[i - 1])) sets.Unite(order[i], order[i - 1]);
    }
  } else {
    // Sweep along x; pairs within epsilon in every coordinate join.
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t a = order[i];
      if (!usable(a)) break;
      for (std::uint32_t j = i + 1; j < n; ++j) {
        const std::uint32_t b = order[j];
        if (!usable(b) || positions[b][0] - positions[a][0] > epsilon) break;
        if (std::fabs(positions[b][1] - positions[a][1]) <= epsilon &&
            std::fabs(positions[b][2] - positions[a][2]) <= epsilon) {
          sets.Unite(a, b);
        }
      }
    }
  }
  std::vector<std::uint32_t> reps(n);
  for (std::uint32_t v = 0; v < n; ++v) reps[v] = sets.Find(v);
  return reps;
}

std::vector<std::uint32_t> GenerateAdjacency(std::span<const Face> faces,
                                             std::span<const Float3> positions, float epsilon) {
  detail::CheckFaces(faces, positions.size());
  const std::vector<std::uint32_t> reps = PointReps(positions, epsilon);
  struct Edge {
    std::uint32_t lo, hi, face;
    std::uint8_t edge;
    bool forward;
  };
  std::vector<Edge> edges;
  edges.reserve(faces.size() * 3);
  for (std::uint32_t f = 0; f < faces.size(); ++f) {
    for (std::uint8_t i = 0; i < 3; ++i) {
      const std::uint32_t a = reps[faces[f][i]], b = reps[faces[f][(i + 1) % 3]];
      if (a == b) continue;
      edges.push_back({std::min(a, b), std::max(a, b), f, i, a < b});
    }
  }
  std::sort(edges.begin(), edges.end(), [](const Edge& x, const Edge& y) {
    return std::tie(x.lo, x.hi, x.face, x.edge) < std::tie(y.lo, y.hi, y.face, y.edge);
  });
  std::vector<std::uint32_t> adjacency(faces.size() * 3, kNone);
  std::vector<bool> matched(edges.size(), false);
  for (std::size_t begin = 0; begin < edges.size();) {
    std::size_t end = begin + 1;
    while (end < edges.size() && edges[end].lo == edges[begin].lo && edges[end].hi == edges[begin].hi) ++end;
    for (std::size_t i = begin; i < end; ++i) {
      if (matched[i]) continue;
      for (std::size_t j = i + 1; j < end; ++j) {
        if (matched[j] || edges[j].face == edges[i].face || edges[j].forward == edges[i].forward) continue;
        matched[i] = matched[j] = true;
        adjacency[edges[i].face * 3 + edges[i].edge] = edges[j].face;
        adjacency[edges[j].face * 3 + edges[j].edge] = edges[i].face;
        break;
      }
    }
    begin = end;
  }
  return adjacency;
}

std::vector<std::uint32_t> SeamKeysFromBytes(std::span<const std::byte> payload, std::size_t stride,
                                             std::span<const ByteRange> ranges) {
  if (stride == 0 || payload.size() % stride != 0) {
    throw std::invalid_argument("payload is not a whole number of vertices");
  }
  for (const ByteRange& r : ranges) {
    if (r.offset > stride || r.size > stride - r.offset) {
      throw std::invalid_argument("byte range outside the vertex");
    }
  }
  const std::size_t n = payload.size() / stride;
  std::unordered_map<std::string, std::uint32_t> ids;
  std::vector<std::uint32_t> keys(n);
  std::string bytes;
  for (std::size_t v = 0; v < n; ++v) {
    bytes.clear();
    for (const ByteRange& r : ranges) {
      const auto* p = reinterpret_cast<const char*>(payload.data() + v * stride + r.offset);
      bytes.append(p, r.size);
    }
    keys[v] = ids.try_emplace(bytes, static_cast<std::uint32_t>(ids.size())).first->second;
  }
  return keys;
}

// ---- Clean ----------------------------------------------------------------------------------

bool CleanReport::Changed() const noexcept {
  return degenerateFacesRemoved + duplicateFacesRemoved + backfacingFacesSplit + adjacencyLinksDropped > 0;
}

namespace {

bool Degenerate(const Face& f, std::span<const Float3> p) {
  return f[0] == f[1] || f[1] == f[2] || f[0] == f[2] || p[f[0]] == p[f[1]] || p[f[1]] == p[f[2]] ||
         p[f[0]] == p[f[2]];
}

Face Sorted(Face f) {
  std::sort(f.begin(), f.end());
  return f;
}

// Rotated so that its lowest vertex comes first: equal for the same winding.
Face Rotated(const Face& f) {
  const std::size_t m = static_cast<std::size_t>(std::min_element(f.begin(), f.end()) - f.begin());
  return {f[m], f[(m + 1) % 3], f[(m + 2) % 3]};
}

void CheckSizes(const MeshInput& mesh) {
  const std::size_t n = mesh.positions.size();
  if (!mesh.seamKeys.empty() && mesh.seamKeys.size() != n) throw std::invalid_argument("seam keys: one per vertex");
  if (!mesh.payload.empty() && (mesh.payloadStride == 0 || mesh.payload.size() != n * mesh.payloadStride)) {
    throw std::invalid_argument("payload: payloadStride bytes per vertex");
  }
  if (!mesh.attributes.empty() && mesh.attributes.size() != mesh.faces.size()) {
    throw std::invalid_argument("attributes: one per face");
  }
  if (!mesh.adjacency.empty() && mesh.adjacency.size() != mesh.faces.size() * 3) {
    throw std::invalid_argument("adjacency: three per face");
  }
  detail::CheckFaces(mesh.faces, n);
}

// Appends copies of `sources` to every per-vertex array of the mesh.
void DuplicateVertices(MeshInput& mesh, std::span<const std::uint32_t> sources) {
  for (std::uint32_t s : sources) {
    mesh.positions.push_back(mesh.positions[s]);
    if (!mesh.seamKeys.empty()) mesh.seamKeys.push_back(mesh.seamKeys[s]);
    if (!mesh.payload.empty()) {
      const std::size_t at = mesh.payload.size();
      mesh.payload.resize(at + mesh.payloadStride);
      std::copy_n(mesh.payload.begin() + static_cast<std::ptrdiff_t>(s * mesh.payloadStride),
                  mesh.payloadStride, mesh.payload.begin() + static_cast<std::ptrdiff_t>(at));
    }
  }
}

void AppendCount(std::string& text, std::uint32_t n, const char* what) {
  if (n == 0) return;
  if (!text.empty()) text += "; ";
  text += std::to_string(n) + " " + what;
}

}  // namespace

CleanReport Clean(MeshInput& mesh, std::uint32_t flags) {
  CheckSizes(mesh);
  if (mesh.adjacency.empty()) mesh.adjacency = GenerateAdjacency(mesh.faces, mesh.positions, 0.0f);
  CleanReport report;
  const std::size_t originalVertices = mesh.positions.size();
  const auto faceCount = static_cast<std::uint32_t>(mesh.faces.size());
  std::vector<bool> removed(faceCount, false);
  std::vector<std::uint32_t> newSources;  // sources of the vertices added so far

  for (std::uint32_t f = 0; f < faceCount; ++f) {
    if (Degenerate(mesh.faces[f], mesh.positions)) {
      removed[f] = true;
      ++report.degenerateFacesRemoved;
    }
  }

  if (flags & kCleanBackfacing) {
    // Faces on the same three vertices: the first of each winding stays; a reversed one gets
    // vertices of its own and loses its links to the face it backs; a repeat of a winding goes.
    std::vector<std::uint32_t> order;
    for (std::uint32_t f = 0; f < faceCount; ++f) {
      if (!removed[f]) order.push_back(f);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return Sorted(mesh.faces[a]) < Sorted(mesh.faces[b]);
    });
    for (std::size_t begin = 0; begin < order.size();) {
      std::size_t end = begin + 1;
      const Face key = Sorted(mesh.faces[order[begin]]);
      while (end < order.size() && Sorted(mesh.faces[order[end]]) == key) ++end;
      const std::uint32_t first = order[begin];
      const Face firstWinding = Rotated(mesh.faces[first]);
      std::uint32_t reversed = kNone;
      for (std::size_t i = begin + 1; i < end; ++i) {
        const std::uint32_t f = order[i];
        if (Rotated(mesh.faces[f]) == firstWinding || reversed != kNone) {
          removed[f] = true;
          ++report.duplicateFacesRemoved;
          continue;
        }
        reversed = f;
        ++report.backfacingFacesSplit;
        for (std::uint32_t& v : mesh.faces[f]) {
          newSources.push_back(v);
          v = static_cast<std::uint32_t>(originalVertices + newSources.size() - 1);
        }
        for (std::uint32_t e = 0; e < 3; ++e) {
          if (mesh.adjacency[f * 3 + e] == first) {
            mesh.adjacency[f * 3 + e] = kNone;
            ++report.adjacencyLinksDropped;
          }
          if (mesh.adjacency[first * 3 + e] == f) {
            mesh.adjacency[first * 3 + e] = kNone;
            ++report.adjacencyLinksDropped;
          }
        }
      }
      begin = end;
    }
    DuplicateVertices(mesh, newSources);
  }

  // Drop the removed faces and every link that is one-sided or leads to a removed face.
  std::vector<std::uint32_t> newIndex(faceCount, kNone);
  for (std::uint32_t f = 0; f < faceCount; ++f) {
    if (!removed[f]) {
      newIndex[f] = static_cast<std::uint32_t>(report.faceSource.size());
      report.faceSource.push_back(f);
    }
  }
  std::vector<Face> faces;
  std::vector<std::uint32_t> adjacency;
  std::vector<std::uint32_t> attributes;
  faces.reserve(report.faceSource.size());
  adjacency.reserve(report.faceSource.size() * 3);
  for (std::uint32_t f : report.faceSource) {
    faces.push_back(mesh.faces[f]);
    if (!mesh.attributes.empty()) attributes.push_back(mesh.attributes[f]);
    for (std::uint32_t e = 0; e < 3; ++e) {
      const std::uint32_t g = mesh.adjacency[f * 3 + e];
      bool keep = g != kNone && g < faceCount && g != f && !removed[g];
      if (keep) {
        keep = detail::BackEdge(mesh.faces, mesh.adjacency, mesh.positions, f, e, g) != kNone;
      }
      if (!keep && g != kNone) ++report.adjacencyLinksDropped;
      adjacency.push_back(keep ? newIndex[g] : kNone);
    }
  }
  mesh.faces = std::move(faces);
  mesh.adjacency = std::move(adjacency);
  if (!mesh.attributes.empty()) mesh.attributes = std::move(attributes);

  report.verticesAdded = static_cast<std::uint32_t>(newSources.size());
  report.vertexSource.resize(originalVertices);
  std::iota(report.vertexSource.begin(), report.vertexSource.end(), 0u);
  report.vertexSource.insert(report.vertexSource.end(), newSources.begin(), newSources.end());

  AppendCount(report.text, report.degenerateFacesRemoved, "degenerate faces removed");
  AppendCount(report.text, report.duplicateFacesRemoved, "duplicate faces removed");
  AppendCount(report.text, report.backfacingFacesSplit, "back-facing faces given vertices of their own");
  AppendCount(report.text, report.adjacencyLinksDropped, "adjacency links dropped");
  AppendCount(report.text, report.verticesAdded, "vertices added");
  return report;
}

// ---- Validate -------------------------------------------------------------------------------

namespace {

std::string Describe(const Finding& f) {
  const std::string face = "face " + std::to_string(f.face);
  switch (f.problem) {
    case Problem::IndexOutOfRange: return face + ": corner " + std::to_string(f.other) + " names no vertex";
    case Problem::AdjacencySize: return "adjacency does not have three entries per face";
    case Problem::NeighbourOutOfRange: return face + ": edge " + std::to_string(f.other) + " names no face";
    case Problem::NeighbourIsSelf: return face + ": edge " + std::to_string(f.other) + " names the face itself";
    case Problem::NotMutual: return face + ": neighbour " + std::to_string(f.other) + " does not name it back";
    case Problem::DegenerateFace: return face + ": degenerate (a vertex or position used twice)";
    case Problem::DuplicateFace: return face + ": same vertices as face " + std::to_string(f.other);
    case Problem::Bowtie:
      return face + ": vertex " + std::to_string(f.other) + " is shared by fans that do not touch (bowtie)";
  }
  return face + ": unknown problem";
}

}  // namespace

ValidateResult Validate(std::span<const Face> faces, std::span<const std::uint32_t> adjacency,
                        std::span<const Float3> positions, std::size_t maxListed) {
  ValidateResult result;
  auto report = [&](Problem p, std::uint32_t face, std::uint32_t other) {
    ++result.problems;
    if (result.findings.size() < maxListed) result.findings.push_back({p, face, other});
  };
  const auto faceCount = static_cast<std::uint32_t>(faces.size());
  const std::size_t vertexCount = positions.size();

  bool indicesOk = true;
  for (std::uint32_t f = 0; f < faceCount; ++f) {
    for (std::uint32_t k = 0; k < 3; ++k) {
      if (faces[f][k] >= vertexCount) {
        report(Problem::IndexOutOfRange, f, k);
        indicesOk = false;
      }
    }
  }
  if (indicesOk) {
    std::vector<std::uint32_t> order;
    for (std::uint32_t f = 0; f < faceCount; ++f) {
      if (Degenerate(faces[f], positions)) report(Problem::DegenerateFace, f, kNone);
      else order.push_back(f);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return Sorted(faces[a]) < Sorted(faces[b]); });
    for (std::size_t i = 1; i < order.size(); ++i) {
      std::size_t first = i - 1;
      while (first > 0 && Sorted(faces[order[first - 1]]) == Sorted(faces[order[i]])) --first;
      if (Sorted(faces[order[i - 1]]) == Sorted(faces[order[i]])) {
        report(Problem::DuplicateFace, order[i], order[first]);
      }
    }
  }

  bool adjacencyOk = adjacency.size() == std::size_t{faceCount} * 3;
  if (!adjacencyOk) {
    report(Problem::AdjacencySize, kNone, kNone);
  } else {
    for (std::uint32_t f = 0; f < faceCount; ++f) {
      for (std::uint32_t e = 0; e < 3; ++e) {
        const std::uint32_t g = adjacency[f * 3 + e];
        if (g == kNone) continue;
        if (g >= faceCount) {
          report(Problem::NeighbourOutOfRange, f, e);
          adjacencyOk = false;
        } else if (g == f) {
          report(Problem::NeighbourIsSelf, f, e);
        } else if (adjacency[g * 3] != f && adjacency[g * 3 + 1] != f && adjacency[g * 3 + 2] != f) {
          report(Problem::NotMutual, f, g);
        }
      }
    }
  }
  if (indicesOk && adjacencyOk) {
    const detail::VertexFaces around = detail::FacesAroundVertices(faces, vertexCount);
    std::vector<std::uint32_t> fanOf;
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
      const std::span<const std::uint32_t> list(around.faces.data() + around.start[v],
                                                around.start[v + 1] - around.start[v]);
      if (list.size() > 1 && detail::FansAround(faces, adjacency, v, list, fanOf) > 1) {
        const auto k = static_cast<std::size_t>(std::find_if(fanOf.begin(), fanOf.end(), [](std::uint32_t x) {
                                                 return x > 0;
                                               }) - fanOf.begin());
        report(Problem::Bowtie, list[k], v);
      }
    }
  }

  result.valid = result.problems == 0;
  for (const Finding& f : result.findings) result.text += Describe(f) + "\n";
  if (result.problems > result.findings.size()) {
    result.text += "... and " + std::to_string(result.problems - result.findings.size()) + " more problems\n";
  }
  return result;
}

// ---- Normals --------------------------------------------------------------------------------

std::vector<Float3> ComputeNormals(std::span<const Float3> positions, std::span<const Face> faces) {
  detail::CheckFaces(faces, positions.size());
  std::vector<std::array<double, 3>> sums(positions.size(), {0.0, 0.0, 0.0});
  for (const Face& f : faces) {
    const Float3 &a = positions[f[0]], &b = positions[f[1]], &c = positions[f[2]];
    const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double w[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
    // The cross product's length is twice the face's area: the weight comes with it.
    const double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    for (std::uint32_t v : f) {
      for (int i = 0; i < 3; ++i) sums[v][i] += n[i];
    }
  }
  std::vector<Float3> normals(positions.size(), Float3{0.0f, 0.0f, 0.0f});
  for (std::size_t v = 0; v < positions.size(); ++v) {
    const auto& s = sums[v];
    const double len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    if (len > 0.0) normals[v] = {float(s[0] / len), float(s[1] / len), float(s[2] / len)};
  }
  return normals;
}

// ---- Optimize -------------------------------------------------------------------------------

OptimizeResult Optimize(MeshInput& mesh, std::uint32_t flags) {
  CheckSizes(mesh);
  if (flags & kOptVertexCache) flags |= kOptAttrSort | kOptCompact;
  const auto faceCount = static_cast<std::uint32_t>(mesh.faces.size());
  const std::size_t vertexCount = mesh.positions.size();
  auto attribute = [&](std::uint32_t f) { return mesh.attributes.empty() ? 0u : mesh.attributes[f]; };

  OptimizeResult result;
  std::vector<std::uint32_t>& order = result.faceRemap;
  order.resize(faceCount);
  std::iota(order.begin(), order.end(), 0u);
  if (flags & kOptAttrSort) {
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return attribute(a) < attribute(b); });
  }
  if (flags & kOptVertexCache) {
    // meshoptimizer reorders each attribute group's triangles; they come back as index triples,
    // matched to their faces through the triple (a face repeated keeps its turn).
    std::vector<std::uint32_t> in, out;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> byTriple;
    auto tripleKey = [](const Face& f) {
      const Face r = Rotated(f);
      std::uint64_t h = r[0];
      h = h * 0x9E3779B97F4A7C15ull ^ r[1];
      h = h * 0x9E3779B97F4A7C15ull ^ r[2];
      return h;
    };
    for (std::uint32_t begin = 0; begin < faceCount;) {
      std::uint32_t end = begin + 1;
      while (end < faceCount && attribute(order[end]) == attribute(order[begin])) ++end;
      in.clear();
      byTriple.clear();
      for (std::uint32_t i = begin; i < end; ++i) {
        const Face& f = mesh.faces[order[i]];
        in.insert(in.end(), f.begin(), f.end());
      }
      for (std::uint32_t i = end; i-- > begin;) byTriple[tripleKey(mesh.faces[order[i]])].push_back(order[i]);
      out.resize(in.size());
      meshopt_optimizeVertexCache(out.data(), in.data(), in.size(), vertexCount);
      for (std::uint32_t t = 0; t < end - begin; ++t) {
        const Face tri{out[t * 3], out[t * 3 + 1], out[t * 3 + 2]};
        auto& candidates = byTriple.at(tripleKey(tri));
        // Hash collisions are told apart by the triple itself.
        auto it = std::find_if(candidates.rbegin(), candidates.rend(),
                               [&](std::uint32_t f) { return Rotated(mesh.faces[f]) == Rotated(tri); });
        if (it == candidates.rend()) throw std::logic_error("vertex-cache order lost a triangle");
        order[begin + t] = *it;
        candidates.erase(std::next(it).base());
      }
      begin = end;
    }
  }

  // Vertex order: first use (meshoptimizer's fetch remap), or the old order less unused vertices.
  std::vector<std::uint32_t> newVertex(vertexCount);
  std::uint32_t kept = 0;
  if (flags & kOptVertexCache) {
    std::vector<std::uint32_t> indices;
    indices.reserve(std::size_t{faceCount} * 3);
    for (std::uint32_t f : order) indices.insert(indices.end(), mesh.faces[f].begin(), mesh.faces[f].end());
    kept = static_cast<std::uint32_t>(
        meshopt_optimizeVertexFetchRemap(newVertex.data(), indices.data(), indices.size(), vertexCount));
  } else if (flags & kOptCompact) {
    std::vector<bool> used(vertexCount, false);
    for (const Face& f : mesh.faces) {
      for (std::uint32_t v : f) used[v] = true;
    }
    for (std::size_t v = 0; v < vertexCount; ++v) newVertex[v] = used[v] ? kept++ : kNone;
  } else {
    std::iota(newVertex.begin(), newVertex.end(), 0u);
    kept = static_cast<std::uint32_t>(vertexCount);
  }
  result.vertexRemap.assign(kept, kNone);
  for (std::uint32_t v = 0; v < vertexCount; ++v) {
    if (newVertex[v] != kNone) result.vertexRemap[newVertex[v]] = v;
  }

  // Apply both orders to every array.
  std::vector<std::uint32_t> newFace(faceCount);
  for (std::uint32_t i = 0; i < faceCount; ++i) newFace[order[i]] = i;
  std::vector<Face> faces(faceCount);
  std::vector<std::uint32_t> attributes(mesh.attributes.empty() ? 0 : faceCount);
  std::vector<std::uint32_t> adjacency(mesh.adjacency.empty() ? 0 : std::size_t{faceCount} * 3);
  for (std::uint32_t i = 0; i < faceCount; ++i) {
    const std::uint32_t f = order[i];
    for (int k = 0; k < 3; ++k) faces[i][k] = newVertex[mesh.faces[f][k]];
    if (!attributes.empty()) attributes[i] = mesh.attributes[f];
    if (!adjacency.empty()) {
      for (int e = 0; e < 3; ++e) {
        const std::uint32_t g = mesh.adjacency[f * 3 + e];
        adjacency[i * 3 + e] = (g == kNone || g >= faceCount) ? kNone : newFace[g];
      }
    }
  }
  std::vector<Float3> positions(kept);
  std::vector<std::uint32_t> keys(mesh.seamKeys.empty() ? 0 : kept);
  std::vector<std::byte> payload(mesh.payload.empty() ? 0 : kept * mesh.payloadStride);
  for (std::uint32_t v = 0; v < kept; ++v) {
    const std::uint32_t old = result.vertexRemap[v];
    positions[v] = mesh.positions[old];
    if (!keys.empty()) keys[v] = mesh.seamKeys[old];
    if (!payload.empty()) {
      std::copy_n(mesh.payload.begin() + static_cast<std::ptrdiff_t>(old * mesh.payloadStride),
                  mesh.payloadStride, payload.begin() + static_cast<std::ptrdiff_t>(v * mesh.payloadStride));
    }
  }
  mesh.faces = std::move(faces);
  mesh.attributes = std::move(attributes);
  mesh.adjacency = std::move(adjacency);
  mesh.positions = std::move(positions);
  mesh.seamKeys = std::move(keys);
  mesh.payload = std::move(payload);

  if (flags & kOptAttrSort) {
    for (std::uint32_t begin = 0; begin < faceCount;) {
      std::uint32_t end = begin + 1;
      const std::uint32_t a = attribute(begin);
      while (end < faceCount && attribute(end) == a) ++end;
      std::uint32_t lo = kNone, hi = 0;
      for (std::uint32_t f = begin; f < end; ++f) {
        for (std::uint32_t v : mesh.faces[f]) {
          lo = std::min(lo, v);
          hi = std::max(hi, v);
        }
      }
      result.attributeTable.push_back({a, begin, end - begin, lo, hi - lo + 1});
      begin = end;
    }
  }
  return result;
}

}  // namespace zr::d3dx9::pmesh
