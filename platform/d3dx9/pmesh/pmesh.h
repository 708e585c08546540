#pragma once
// The CPU side of D3DX's meshes: adjacency, cleaning, validation, normals and reordering
// (D3DXGenerateAdjacency, D3DXCleanMesh, D3DXValidMesh, D3DXComputeNormals, OptimizeInplace), and
// the progressive mesh behind D3DXGeneratePMesh and ID3DXPMesh: a build on OpenMesh's decimater that
// records every collapse, and a runtime that moves between levels of detail by rewriting index
// slots, without allocating. No device and no COM here: the COM layer keeps its vertex format in the
// opaque per-vertex payload, which this code permutes and never reads.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zr::d3dx9::pmesh {

using Float3 = std::array<float, 3>;
using Face = std::array<std::uint32_t, 3>;

// No neighbour, no subset, no vertex: D3DX's 0xFFFFFFFF.
inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// An indexed triangle list as the COM layer hands it over.
struct MeshInput {
  std::vector<Float3> positions;  // one per vertex
  // payloadStride bytes per vertex (the whole D3D vertex, say), or empty. Permuted, never read,
  // except that with no seamKeys two vertices with equal payload bytes count as interchangeable.
  std::size_t payloadStride = 0;
  std::vector<std::byte> payload;
  // Per vertex, or empty. Two vertices with equal keys at the same place are interchangeable (same
  // normal, uv, ...); different keys at one place make a texture seam. Empty: keys from the payload
  // bytes, or with no payload every vertex its own key.
  std::vector<std::uint32_t> seamKeys;
  std::vector<Face> faces;
  std::vector<std::uint32_t> attributes;  // material per face, or empty for all 0
  // 3 per face: the neighbour across edge i (corner i to corner i+1), or kNone. Empty: generated
  // with epsilon 0 where needed.
  std::vector<std::uint32_t> adjacency;
};

// ---- Utilities ------------------------------------------------------------------------------

// For each vertex, the lowest-numbered vertex it coincides with: positions equal within epsilon in
// every coordinate, chained (D3DX's point representatives).
std::vector<std::uint32_t> PointReps(std::span<const Float3> positions, float epsilon);

// Three neighbours per face (kNone for none). Two face edges match when they join the same two
// points (shared vertices or point representatives within epsilon) in opposite directions; an edge
// joins at most one other face, the first in face order. Throws std::invalid_argument on an index
// out of range.
std::vector<std::uint32_t> GenerateAdjacency(std::span<const Face> faces,
                                             std::span<const Float3> positions, float epsilon);

// Seam keys from selected byte ranges of each vertex's payload (its normal and uv, say): equal
// bytes in all ranges give equal keys.
struct ByteRange {
  std::size_t offset = 0;
  std::size_t size = 0;
};
std::vector<std::uint32_t> SeamKeysFromBytes(std::span<const std::byte> payload, std::size_t stride,
                                             std::span<const ByteRange> ranges);

// D3DXCLEAN_BACKFACING: split back-to-back faces, drop same-winding duplicates. (Bowties are found
// by Validate, not split.)
enum CleanFlags : std::uint32_t {
  kCleanBackfacing = 0x1,
};

struct CleanReport {
  std::uint32_t degenerateFacesRemoved = 0;  // a vertex or a position used twice
  std::uint32_t duplicateFacesRemoved = 0;   // same vertices, same winding as an earlier face
  std::uint32_t backfacingFacesSplit = 0;    // same vertices as an earlier face, reversed
  std::uint32_t adjacencyLinksDropped = 0;   // one-sided or to a removed face
  std::uint32_t verticesAdded = 0;
  std::vector<std::uint32_t> faceSource;    // per face now: its index before
  std::vector<std::uint32_t> vertexSource;  // per vertex now: the vertex it copies
  std::string text;                         // what changed, in a line or two; empty if nothing
  bool Changed() const noexcept;
};
// Always removes degenerate faces and one-sided adjacency links; the flag adds the rest. Updates
// every array of the mesh (new vertices copy position, payload and key of their source) and
// generates adjacency (epsilon 0) when the mesh has none. Throws std::invalid_argument on an index
// out of range or adjacency of the wrong size.
CleanReport Clean(MeshInput& mesh, std::uint32_t flags = kCleanBackfacing);

enum class Problem : std::uint8_t {
  IndexOutOfRange,      // face, corner
  AdjacencySize,        // (whole mesh)
  NeighbourOutOfRange,  // face, edge
  NeighbourIsSelf,      // face, edge
  NotMutual,            // face lists other, other does not list face
  DegenerateFace,       // face repeats a vertex or a position
  DuplicateFace,        // face has the vertices of other
  Bowtie,               // vertex (in face) shared by fans that do not touch
};
struct Finding {
  Problem problem;
  std::uint32_t face = kNone;
  std::uint32_t other = kNone;  // the other face, the edge or corner, or the vertex
};
struct ValidateResult {
  bool valid = true;
  std::uint32_t problems = 0;     // all found
  std::vector<Finding> findings;  // the first maxListed of them
  std::string text;               // one line per listed finding, and a count of the rest
};
ValidateResult Validate(std::span<const Face> faces, std::span<const std::uint32_t> adjacency,
                        std::span<const Float3> positions, std::size_t maxListed = 32);

// Per vertex: the sum of its faces' normals weighted by their areas, normalised ((0,0,0) where the
// sum is zero).
std::vector<Float3> ComputeNormals(std::span<const Float3> positions, std::span<const Face> faces);

// D3DXMESHOPT_* values. VertexCache implies AttrSort and Compact, as in D3DX.
enum OptimizeFlags : std::uint32_t {
  kOptCompact = 0x01000000,
  kOptAttrSort = 0x02000000,
  kOptVertexCache = 0x04000000,
};
struct AttributeRange {
  std::uint32_t attribute = 0;
  std::uint32_t faceStart = 0;
  std::uint32_t faceCount = 0;
  std::uint32_t vertexStart = 0;  // lowest and
  std::uint32_t vertexCount = 0;  // span of the vertices its faces use
};
struct OptimizeResult {
  std::vector<std::uint32_t> faceRemap;    // per face now: its index before
  std::vector<std::uint32_t> vertexRemap;  // per vertex now: its index before
  std::vector<AttributeRange> attributeTable;  // with kOptAttrSort
};
// Faces grouped by attribute (stable), each group in meshoptimizer's vertex-cache order, vertices in
// first-use order (meshoptimizer's vertex-fetch remap); Compact alone drops unused vertices and
// keeps the order. Updates every array of the mesh, adjacency included.
OptimizeResult Optimize(MeshInput& mesh, std::uint32_t flags);

// ---- Progressive mesh -----------------------------------------------------------------------

struct BuildStats {
  std::uint32_t inputFaces = 0;
  std::uint32_t decimatedFaces = 0;   // faces OpenMesh took
  std::uint32_t keptFaces = 0;        // faces OpenMesh refused: kept at every level, never collapsed
  std::uint32_t lockedVertices = 0;   // topological vertices that never collapse
  std::uint32_t featureEdges = 0;     // material boundaries and texture seams at the start
  std::uint32_t collapses = 0;
};

struct SubsetRange {
  std::uint32_t attribute = 0;
  std::uint32_t faceStart = 0;  // first face of the subset in the index buffer
  std::uint32_t faceCount = 0;  // its active faces at the current level
  std::uint32_t maxFaces = 0;
  std::uint32_t minFaces = 0;
};

// One index slot (face * 3 + corner) of a collapse, with its value at the finer and the coarser
// level.
struct IndexRewrite {
  std::uint32_t slot = 0;
  std::uint32_t fine = 0;
  std::uint32_t coarse = 0;
};

struct CollapseRecord {
  std::uint32_t rewriteStart = 0;  // into Rewrites()
  std::uint32_t rewriteCount = 0;
  std::array<std::uint32_t, 2> removedSubsets{kNone, kNone};  // subset of each removed face
};

class ProgressiveMesh {
 public:
  std::uint32_t GetMaxFaces() const noexcept { return levelFaces_.empty() ? 0 : levelFaces_.front(); }
  std::uint32_t GetMinFaces() const noexcept { return levelFaces_.empty() ? 0 : levelFaces_.back(); }
  std::uint32_t GetNumFaces() const noexcept { return levelFaces_.empty() ? 0 : levelFaces_[level_]; }
  std::uint32_t GetMaxVertices() const noexcept { return levelVertices_.empty() ? 0 : levelVertices_.front(); }
  std::uint32_t GetMinVertices() const noexcept { return levelVertices_.empty() ? 0 : levelVertices_.back(); }
  // Active vertices are the first NumActiveVertices() of the vertex order.
  std::uint32_t NumActiveVertices() const noexcept { return levelVertices_.empty() ? 0 : levelVertices_[level_]; }

  // Clamp to [GetMinFaces(), GetMaxFaces()], then settle on the largest reachable count not above
  // the request. No allocation.
  void SetNumFaces(std::uint32_t faces) noexcept;
  // The same by active vertices.
  void SetNumVertices(std::uint32_t vertices) noexcept;
  // Collapses applied: 0 at the maximum, NumCollapses() at the minimum.
  std::size_t Level() const noexcept { return level_; }
  void SetLevel(std::size_t level) noexcept;

  // The index buffer of all faces (inactive ones keep stale values): 16-bit when the vertex count
  // fits, else 32-bit. Subset i's active faces are faces [faceStart, faceStart + faceCount).
  bool Uses32BitIndices() const noexcept { return !indices32_.empty(); }
  std::span<const std::uint16_t> Indices16() const noexcept { return indices16_; }
  std::span<const std::uint32_t> Indices32() const noexcept { return indices32_; }
  std::span<const std::byte> IndexBytes() const noexcept;
  std::uint32_t Index(std::size_t slot) const noexcept {
    return indices32_.empty() ? indices16_[slot] : indices32_[slot];
  }
  std::span<const SubsetRange> Subsets() const noexcept { return subsets_; }

  // Vertices in their new order (base first, then in reverse collapse order, then any no face
  // used), with the input vertex each one is.
  std::size_t NumVertices() const noexcept { return vertexSource_.size(); }
  std::span<const Float3> Positions() const noexcept { return positions_; }
  std::size_t PayloadStride() const noexcept { return payloadStride_; }
  std::span<const std::byte> Payload() const noexcept { return payload_; }
  std::span<const std::uint32_t> VertexSource() const noexcept { return vertexSource_; }
  // Per face of the index buffer: the input face it is.
  std::span<const std::uint32_t> FaceSource() const noexcept { return faceSource_; }

  // The collapse log: record c (0-based) takes level c to level c + 1.
  std::size_t NumCollapses() const noexcept { return collapses_.size(); }
  std::span<const CollapseRecord> Collapses() const noexcept { return collapses_; }
  std::span<const IndexRewrite> Rewrites() const noexcept { return rewrites_; }
  // Faces and active vertices at each level (NumCollapses() + 1 entries, strictly decreasing).
  std::span<const std::uint32_t> LevelFaces() const noexcept { return levelFaces_; }
  std::span<const std::uint32_t> LevelVertices() const noexcept { return levelVertices_; }
  const BuildStats& Stats() const noexcept { return stats_; }

 private:
  friend ProgressiveMesh Build(const MeshInput&, std::uint32_t);
  template <typename IndexT>
  void MoveTo(std::vector<IndexT>& indices, std::size_t level) noexcept;

  std::vector<std::uint32_t> levelFaces_;
  std::vector<std::uint32_t> levelVertices_;
  std::vector<CollapseRecord> collapses_;
  std::vector<IndexRewrite> rewrites_;
  std::vector<SubsetRange> subsets_;
  std::vector<std::uint16_t> indices16_;
  std::vector<std::uint32_t> indices32_;
  std::vector<Float3> positions_;
  std::size_t payloadStride_ = 0;
  std::vector<std::byte> payload_;
  std::vector<std::uint32_t> vertexSource_;
  std::vector<std::uint32_t> faceSource_;
  std::size_t level_ = 0;
  BuildStats stats_;
};

// Simplify with OpenMesh's decimater (quadric priority, normal-flipping check) down to the smallest
// reachable face count not below minFaces, recording every collapse. Material boundaries and
// texture seams are features: a vertex on one only slides along it, and each fan sector around a
// removed vertex takes the vertex of its own side, so no crack opens and no face changes material.
// The open border never moves. Faces OpenMesh refuses (non-manifold, degenerate after welding) stay at every level and their
// vertices never collapse: run Clean first to keep that rare. Throws std::invalid_argument on
// inconsistent input sizes or indices out of range.
ProgressiveMesh Build(const MeshInput& mesh, std::uint32_t minFaces);

}  // namespace zr::d3dx9::pmesh
