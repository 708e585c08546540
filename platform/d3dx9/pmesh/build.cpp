// The progressive-mesh build: OpenMesh's decimater simplifies the welded surface; a module of ours
// keeps the render vertices (the input's own vertices, a seam's copies apart) of every face corner,
// vetoes collapses that would tear a seam or move a material boundary off its line, and logs each
// collapse as index rewrites. The log is then ordered for the runtime.
#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <tuple>

#include <OpenMesh/Core/Mesh/TriMesh_ArrayKernelT.hh>
#include <OpenMesh/Core/System/omstream.hh>
#include <OpenMesh/Tools/Decimater/DecimaterT.hh>
#include <OpenMesh/Tools/Decimater/ModNormalFlippingT.hh>
#include <OpenMesh/Tools/Decimater/ModQuadricT.hh>

#include "mesh_internal.h"
#include "pmesh.h"

namespace zr::d3dx9::pmesh {
namespace {

using OMesh = OpenMesh::TriMesh_ArrayKernelT<>;
using VertexHandle = OMesh::VertexHandle;
using FaceHandle = OMesh::FaceHandle;
using EdgeHandle = OMesh::EdgeHandle;

// What the decimation knows beyond OpenMesh's connectivity, indexed by OpenMesh's face and vertex
// numbers (stable: deleted elements are never collected during the run).
struct Tracker {
  explicit Tracker(OMesh& m) : mesh(m) {}

  OMesh& mesh;
  std::vector<std::uint32_t> inputFace;  // per OpenMesh face
  std::vector<Face> corners;             // per OpenMesh face: render vertex of each input corner
  std::vector<std::uint32_t> attribute;  // per OpenMesh face
  std::vector<std::uint32_t> topo;       // per render vertex: its OpenMesh vertex (kNone: unused)
  std::vector<std::uint32_t> keys;       // per render vertex
  std::vector<std::uint32_t> refs;       // per render vertex: corners naming it
  std::uint32_t activeFaces = 0;         // OpenMesh faces left

  struct Change {
    std::uint32_t face;  // OpenMesh face
    std::uint32_t corner;
    std::uint32_t fine, coarse;  // render vertices
  };
  struct Step {
    std::uint32_t changeEnd;
    std::uint32_t deadEnd;
    std::array<std::uint32_t, 2> removed{kNone, kNone};  // OpenMesh faces
  };
  std::vector<Change> changes;
  std::vector<std::uint32_t> dead;  // render vertices left unused by each step, in step order
  std::vector<Step> steps;

  // Scratch of the collapse being looked at.
  std::vector<FaceHandle> fan;
  std::vector<std::uint32_t> sector;
  std::vector<Change> plan;

  std::uint32_t CornerAt(FaceHandle f, VertexHandle v) const {
    const Face& c = corners[f.idx()];
    for (std::uint32_t k = 0; k < 3; ++k) {
      if (topo[c[k]] == static_cast<std::uint32_t>(v.idx())) return k;
    }
    throw std::logic_error("face has no corner at the vertex");
  }
  std::uint32_t RenderAt(FaceHandle f, VertexHandle v) const { return corners[f.idx()][CornerAt(f, v)]; }

  // Material boundary or texture seam: the faces on the two sides differ in material or in the
  // vertex they use at either end.
  bool IsFeature(EdgeHandle e) const {
    const auto h0 = mesh.halfedge_handle(e, 0), h1 = mesh.halfedge_handle(e, 1);
    const FaceHandle f = mesh.face_handle(h0), g = mesh.face_handle(h1);
    if (!f.is_valid() || !g.is_valid()) return false;
    if (attribute[f.idx()] != attribute[g.idx()]) return true;
    const VertexHandle a = mesh.from_vertex_handle(h0), b = mesh.to_vertex_handle(h0);
    return keys[RenderAt(f, a)] != keys[RenderAt(g, a)] || keys[RenderAt(f, b)] != keys[RenderAt(g, b)];
  }

  void UpdateVertexFeature(VertexHandle v) {
    bool feature = false;
    for (EdgeHandle e : mesh.ve_range(v)) feature = feature || mesh.status(e).feature();
    mesh.status(v).set_feature(feature);
  }

  std::uint32_t SectorRoot(std::uint32_t i) const {
    while (sector[i] != i) i = sector[i];
    return i;
  }
  std::uint32_t FanIndex(FaceHandle f) const {
    return static_cast<std::uint32_t>(std::find(fan.begin(), fan.end(), f) - fan.begin());
  }

  // Works out the corner rewrites of collapsing v0 into v1 into `plan`. The faces around v0 split
  // into sectors at feature edges; each sector must hold a face that the collapse removes, and its
  // corners at v0 take that face's vertex at v1. When both removed faces share a sector, their
  // vertices at v1 must be interchangeable. Otherwise the collapse would pull a seam or a
  // boundary where it has no vertex to go to: false.
  bool Plan(const OpenMesh::Decimater::CollapseInfoT<OMesh>& ci) {
    plan.clear();
    fan.clear();
    for (FaceHandle f : mesh.vf_range(ci.v0)) fan.push_back(f);
    sector.resize(fan.size());
    for (std::uint32_t i = 0; i < sector.size(); ++i) sector[i] = i;
    for (auto h : mesh.voh_range(ci.v0)) {
      const FaceHandle f = mesh.face_handle(h), g = mesh.opposite_face_handle(h);
      if (!f.is_valid() || !g.is_valid() || mesh.status(mesh.edge_handle(h)).feature()) continue;
      const std::uint32_t a = SectorRoot(FanIndex(f)), b = SectorRoot(FanIndex(g));
      sector[std::max(a, b)] = std::min(a, b);
    }
    std::array<FaceHandle, 2> sides{ci.fl, ci.fr};
    std::array<std::uint32_t, 2> sideSector{kNone, kNone}, target{kNone, kNone};
    for (int s = 0; s < 2; ++s) {
      if (!sides[s].is_valid()) continue;
      sideSector[s] = SectorRoot(FanIndex(sides[s]));
      target[s] = RenderAt(sides[s], ci.v1);
    }
    if (sideSector[0] == kNone && sideSector[1] == kNone) return false;
    if (sideSector[0] != kNone && sideSector[0] == sideSector[1] && keys[target[0]] != keys[target[1]]) {
      return false;
    }
    for (std::uint32_t i = 0; i < fan.size(); ++i) {
      const FaceHandle f = fan[i];
      if (f == ci.fl || f == ci.fr) continue;
      const std::uint32_t root = SectorRoot(i);
      const int s = root == sideSector[0] ? 0 : root == sideSector[1] ? 1 : -1;
      if (s < 0) return false;
      const std::uint32_t k = CornerAt(f, ci.v0);
      plan.push_back({static_cast<std::uint32_t>(f.idx()), k, corners[f.idx()][k], target[s]});
    }
    return true;
  }

  void Drop(std::uint32_t render) {
    if (--refs[render] == 0) dead.push_back(render);
  }

  // Logs the planned collapse and applies it to the corners.
  void Record(const OpenMesh::Decimater::CollapseInfoT<OMesh>& ci) {
    if (!Plan(ci)) throw std::logic_error("a collapse the seam module refused was carried out");
    for (const Change& c : plan) {
      ++refs[c.coarse];
      corners[c.face][c.corner] = c.coarse;
      changes.push_back(c);
    }
    for (const Change& c : plan) Drop(c.fine);
    Step step{static_cast<std::uint32_t>(changes.size()), 0, {kNone, kNone}};
    int n = 0;
    for (FaceHandle f : {ci.fl, ci.fr}) {
      if (!f.is_valid()) continue;
      step.removed[n++] = static_cast<std::uint32_t>(f.idx());
      for (std::uint32_t r : corners[f.idx()]) Drop(r);
      --activeFaces;
    }
    step.deadEnd = static_cast<std::uint32_t>(dead.size());
    steps.push_back(step);
  }

  // After the collapse: the edges around v1 have new faces on their sides.
  void Refresh(VertexHandle v1) {
    for (EdgeHandle e : mesh.ve_range(v1)) mesh.status(e).set_feature(IsFeature(e));
    UpdateVertexFeature(v1);
    for (VertexHandle w : mesh.vv_range(v1)) UpdateVertexFeature(w);
  }
};

// The decimater's module that binds the tracker in: a binary check and the log.
template <typename MeshT>
class ModSeamsT : public OpenMesh::Decimater::ModBaseT<MeshT> {
 public:
  DECIMATING_MODULE(ModSeamsT, MeshT, Seams);
  explicit ModSeamsT(MeshT& mesh) : Base(mesh, true) {}

  float collapse_priority(const CollapseInfo& ci) override {
    return tracker->Plan(ci) ? Base::LEGAL_COLLAPSE : Base::ILLEGAL_COLLAPSE;
  }
  void preprocess_collapse(const CollapseInfo& ci) override { tracker->Record(ci); }
  void postprocess_collapse(const CollapseInfo& ci) override { tracker->Refresh(ci.v1); }

  Tracker* tracker = nullptr;
};

// OpenMesh reports refused faces on its error stream; the build reports them in its stats.
class QuietOpenMesh {
 public:
  QuietOpenMesh() : lock_(mutex_) { ::omerr().disable(); }
  ~QuietOpenMesh() { ::omerr().enable(); }
  QuietOpenMesh(const QuietOpenMesh&) = delete;
  QuietOpenMesh& operator=(const QuietOpenMesh&) = delete;

 private:
  static inline std::mutex mutex_;
  std::lock_guard<std::mutex> lock_;
};

// OpenMesh's normal-flipping module: a collapse may turn no face's normal further than this.
constexpr float kMaxNormalDeviationDegrees = 90.0f;

void CheckInput(const MeshInput& mesh) {
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
  if (n > kNone - 1 || mesh.faces.size() > kNone / 3) throw std::invalid_argument("mesh too large");
  detail::CheckFaces(mesh.faces, n);
}

}  // namespace

ProgressiveMesh Build(const MeshInput& input, std::uint32_t minFaces) {
  CheckInput(input);
  const auto faceCount = static_cast<std::uint32_t>(input.faces.size());
  const auto vertexCount = static_cast<std::uint32_t>(input.positions.size());
  auto attributeOf = [&](std::uint32_t f) { return input.attributes.empty() ? 0u : input.attributes[f]; };

  const std::vector<std::uint32_t> adjacency =
      input.adjacency.empty() ? GenerateAdjacency(input.faces, input.positions, 0.0f) : input.adjacency;
  const std::vector<std::uint32_t> weld = detail::WeldByAdjacency(input.faces, adjacency, input.positions);

  OMesh mesh;
  mesh.request_vertex_status();
  mesh.request_edge_status();
  mesh.request_face_status();
  mesh.request_face_normals();
  Tracker tracker(mesh);
  tracker.keys = detail::ResolveSeamKeys(input);
  tracker.refs.assign(vertexCount, 0);
  tracker.topo.assign(vertexCount, kNone);

  // One OpenMesh vertex per welded place that a face uses, at its lowest vertex's position.
  std::vector<std::uint32_t> topoOfRoot(vertexCount, kNone);
  for (const Face& f : input.faces) {
    for (std::uint32_t r : f) {
      ++tracker.refs[r];
      std::uint32_t& t = topoOfRoot[weld[r]];
      if (t == kNone) {
        const Float3& p = input.positions[weld[r]];
        t = static_cast<std::uint32_t>(mesh.add_vertex(OMesh::Point(p[0], p[1], p[2])).idx());
      }
      tracker.topo[r] = t;
    }
  }

  BuildStats stats;
  stats.inputFaces = faceCount;
  std::vector<std::uint32_t> keptFaces;
  {
    QuietOpenMesh quiet;
    for (std::uint32_t f = 0; f < faceCount; ++f) {
      const Face& face = input.faces[f];
      const std::uint32_t t0 = tracker.topo[face[0]], t1 = tracker.topo[face[1]], t2 = tracker.topo[face[2]];
      FaceHandle fh;
      if (t0 != t1 && t1 != t2 && t0 != t2) {
        fh = mesh.add_face(VertexHandle(static_cast<int>(t0)), VertexHandle(static_cast<int>(t1)),
                           VertexHandle(static_cast<int>(t2)));
      }
      if (!fh.is_valid()) {
        keptFaces.push_back(f);
        continue;
      }
      tracker.inputFace.push_back(f);
      tracker.corners.push_back(face);
      tracker.attribute.push_back(attributeOf(f));
    }
  }
  const auto omFaces = static_cast<std::uint32_t>(tracker.inputFace.size());
  tracker.activeFaces = omFaces;
  stats.decimatedFaces = omFaces;
  stats.keptFaces = static_cast<std::uint32_t>(keptFaces.size());
  mesh.update_face_normals();

  // Vertices that never collapse: those of refused faces, non-manifold ones, and the open border.
  for (std::uint32_t f : keptFaces) {
    for (std::uint32_t r : input.faces[f]) mesh.status(VertexHandle(static_cast<int>(tracker.topo[r]))).set_locked(true);
  }
  for (VertexHandle v : mesh.vertices()) {
    if (!mesh.is_manifold(v) || mesh.is_boundary(v)) {
      mesh.status(v).set_locked(true);
    }
  }
  for (VertexHandle v : mesh.vertices()) stats.lockedVertices += mesh.status(v).locked() ? 1 : 0;
  for (EdgeHandle e : mesh.edges()) {
    const bool feature = tracker.IsFeature(e);
    mesh.status(e).set_feature(feature);
    stats.featureEdges += feature ? 1 : 0;
  }
  for (VertexHandle v : mesh.vertices()) tracker.UpdateVertexFeature(v);

  // Decimate to the smallest count not below the target. With the border locked every collapse
  // removes two faces, so the decimater is stopped at one above the target: a last collapse from
  // there would go below it.
  const std::uint32_t target = minFaces > stats.keptFaces ? minFaces - stats.keptFaces : 0;
  if (target < omFaces) {
    using namespace OpenMesh::Decimater;
    DecimaterT<OMesh> decimater(mesh);
    ModQuadricT<OMesh>::Handle quadric;
    ModNormalFlippingT<OMesh>::Handle flipping;
    ModSeamsT<OMesh>::Handle seams;
    decimater.add(quadric);
    decimater.add(flipping);
    decimater.add(seams);
    decimater.module(quadric).unset_max_err();
    decimater.module(flipping).set_max_normal_deviation(kMaxNormalDeviationDegrees);
    decimater.module(seams).tracker = &tracker;
    if (!decimater.initialize()) throw std::logic_error("OpenMesh's decimater did not initialise");
    if (omFaces > target + 1) decimater.decimate_to_faces(0, target + 1);
  }
  const auto steps = static_cast<std::uint32_t>(tracker.steps.size());
  stats.collapses = steps;

  // ---- Order everything for the runtime ----
  ProgressiveMesh pm;
  pm.stats_ = stats;

  // Subsets by attribute value; faces of each: never removed first, then last removed first.
  std::vector<std::uint32_t> attributeValues;
  for (std::uint32_t f = 0; f < faceCount; ++f) attributeValues.push_back(attributeOf(f));
  std::sort(attributeValues.begin(), attributeValues.end());
  attributeValues.erase(std::unique(attributeValues.begin(), attributeValues.end()), attributeValues.end());
  auto subsetOf = [&](std::uint32_t attribute) {
    return static_cast<std::uint32_t>(std::lower_bound(attributeValues.begin(), attributeValues.end(), attribute) -
                                      attributeValues.begin());
  };
  std::vector<std::uint32_t> removedAt(faceCount, kNone);
  for (std::uint32_t s = 0; s < steps; ++s) {
    for (std::uint32_t f : tracker.steps[s].removed) {
      if (f != kNone) removedAt[tracker.inputFace[f]] = s;
    }
  }
  std::vector<std::uint32_t>& faceOrder = pm.faceSource_;
  faceOrder.resize(faceCount);
  std::iota(faceOrder.begin(), faceOrder.end(), 0u);
  auto faceKey = [&](std::uint32_t f) {
    const std::uint32_t r = removedAt[f];
    return std::tuple(subsetOf(attributeOf(f)), r == kNone ? 0u : 1u, r == kNone ? 0u : steps - r, f);
  };
  std::sort(faceOrder.begin(), faceOrder.end(), [&](std::uint32_t a, std::uint32_t b) { return faceKey(a) < faceKey(b); });
  std::vector<std::uint32_t> facePosition(faceCount);
  for (std::uint32_t i = 0; i < faceCount; ++i) facePosition[faceOrder[i]] = i;
  pm.subsets_.resize(attributeValues.size());
  for (std::uint32_t s = 0; s < attributeValues.size(); ++s) pm.subsets_[s].attribute = attributeValues[s];
  for (std::uint32_t i = faceCount; i-- > 0;) {
    SubsetRange& range = pm.subsets_[subsetOf(attributeOf(faceOrder[i]))];
    range.faceStart = i;
    ++range.maxFaces;
    if (removedAt[faceOrder[i]] == kNone) ++range.minFaces;
  }
  for (SubsetRange& range : pm.subsets_) range.faceCount = range.maxFaces;

  // Vertices: in use at the end first, then by the step that left them unused, last first, then
  // those no face uses.
  std::vector<std::uint32_t> deadAt(vertexCount, kNone);
  for (std::uint32_t s = 0, i = 0; s < steps; ++s) {
    for (; i < tracker.steps[s].deadEnd; ++i) deadAt[tracker.dead[i]] = s;
  }
  std::uint32_t usedVertices = 0;
  std::vector<std::uint32_t>& vertexOrder = pm.vertexSource_;
  vertexOrder.resize(vertexCount);
  std::iota(vertexOrder.begin(), vertexOrder.end(), 0u);
  auto vertexKey = [&](std::uint32_t v) {
    const std::uint32_t group = tracker.topo[v] == kNone ? 2u : deadAt[v] == kNone ? 0u : 1u;
    return std::tuple(group, group == 1 ? steps - deadAt[v] : 0u, v);
  };
  std::sort(vertexOrder.begin(), vertexOrder.end(),
            [&](std::uint32_t a, std::uint32_t b) { return vertexKey(a) < vertexKey(b); });
  std::vector<std::uint32_t> newVertex(vertexCount);
  for (std::uint32_t i = 0; i < vertexCount; ++i) {
    newVertex[vertexOrder[i]] = i;
    if (tracker.topo[vertexOrder[i]] != kNone) ++usedVertices;
  }

  // Levels and records.
  pm.levelFaces_.resize(steps + 1);
  pm.levelVertices_.resize(steps + 1);
  pm.levelFaces_[0] = faceCount;
  pm.levelVertices_[0] = usedVertices;
  pm.collapses_.resize(steps);
  pm.rewrites_.reserve(tracker.changes.size());
  for (std::uint32_t s = 0, change = 0, deadBegin = 0; s < steps; ++s) {
    const Tracker::Step& step = tracker.steps[s];
    CollapseRecord& record = pm.collapses_[s];
    record.rewriteStart = static_cast<std::uint32_t>(pm.rewrites_.size());
    for (; change < step.changeEnd; ++change) {
      const Tracker::Change& c = tracker.changes[change];
      pm.rewrites_.push_back({facePosition[tracker.inputFace[c.face]] * 3 + c.corner, newVertex[c.fine],
                              newVertex[c.coarse]});
    }
    record.rewriteCount = static_cast<std::uint32_t>(pm.rewrites_.size()) - record.rewriteStart;
    std::uint32_t removed = 0;
    for (int k = 0; k < 2; ++k) {
      if (step.removed[k] == kNone) continue;
      record.removedSubsets[k] = subsetOf(tracker.attribute[step.removed[k]]);
      ++removed;
    }
    pm.levelFaces_[s + 1] = pm.levelFaces_[s] - removed;
    pm.levelVertices_[s + 1] = pm.levelVertices_[s] - (step.deadEnd - deadBegin);
    deadBegin = step.deadEnd;
  }

  // The index buffer at the maximum level, and the vertex data in the new order.
  const bool wide = vertexCount > 0xFFFFu;
  (wide ? pm.indices32_.resize(std::size_t{faceCount} * 3) : pm.indices16_.resize(std::size_t{faceCount} * 3));
  for (std::uint32_t i = 0; i < faceCount; ++i) {
    for (std::uint32_t k = 0; k < 3; ++k) {
      const std::uint32_t v = newVertex[input.faces[faceOrder[i]][k]];
      if (wide) pm.indices32_[i * 3 + k] = v;
      else pm.indices16_[i * 3 + k] = static_cast<std::uint16_t>(v);
    }
  }
  pm.positions_.resize(vertexCount);
  pm.payloadStride_ = input.payload.empty() ? 0 : input.payloadStride;
  pm.payload_.resize(input.payload.empty() ? 0 : input.payload.size());
  for (std::uint32_t i = 0; i < vertexCount; ++i) {
    const std::uint32_t v = vertexOrder[i];
    pm.positions_[i] = input.positions[v];
    if (pm.payloadStride_ > 0) {
      std::copy_n(input.payload.begin() + static_cast<std::ptrdiff_t>(v * pm.payloadStride_), pm.payloadStride_,
                  pm.payload_.begin() + static_cast<std::ptrdiff_t>(i * pm.payloadStride_));
    }
  }
  pm.level_ = 0;
  return pm;
}

}  // namespace zr::d3dx9::pmesh
