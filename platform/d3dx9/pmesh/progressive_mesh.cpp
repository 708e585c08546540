// Moving between levels of detail: each collapse rewrites its index slots and shortens its faces'
// subsets by one face each; undoing it writes the finer values back. Nothing is allocated.
#include <algorithm>

#include "pmesh.h"

namespace zr::d3dx9::pmesh {

template <typename IndexT>
void ProgressiveMesh::MoveTo(std::vector<IndexT>& indices, std::size_t level) noexcept {
  while (level_ < level) {
    const CollapseRecord& record = collapses_[level_];
    const IndexRewrite* rewrite = rewrites_.data() + record.rewriteStart;
    for (std::uint32_t i = 0; i < record.rewriteCount; ++i) {
      indices[rewrite[i].slot] = static_cast<IndexT>(rewrite[i].coarse);
    }
    for (std::uint32_t s : record.removedSubsets) {
      if (s != kNone) --subsets_[s].faceCount;
    }
    ++level_;
  }
  while (level_ > level) {
    --level_;
    const CollapseRecord& record = collapses_[level_];
    const IndexRewrite* rewrite = rewrites_.data() + record.rewriteStart;
    for (std::uint32_t i = 0; i < record.rewriteCount; ++i) {
      indices[rewrite[i].slot] = static_cast<IndexT>(rewrite[i].fine);
    }
    for (std::uint32_t s : record.removedSubsets) {
      if (s != kNone) ++subsets_[s].faceCount;
    }
  }
}

void ProgressiveMesh::SetLevel(std::size_t level) noexcept {
  level = std::min(level, collapses_.size());
  if (indices32_.empty()) MoveTo(indices16_, level);
  else MoveTo(indices32_, level);
}

void ProgressiveMesh::SetNumFaces(std::uint32_t faces) noexcept {
  if (levelFaces_.empty()) return;
  faces = std::clamp(faces, GetMinFaces(), GetMaxFaces());
  // Counts fall strictly with the level: the first level at or below the request.
  const auto it = std::partition_point(levelFaces_.begin(), levelFaces_.end(),
                                       [faces](std::uint32_t n) { return n > faces; });
  SetLevel(static_cast<std::size_t>(it - levelFaces_.begin()));
}

void ProgressiveMesh::SetNumVertices(std::uint32_t vertices) noexcept {
  if (levelVertices_.empty()) return;
  vertices = std::clamp(vertices, GetMinVertices(), GetMaxVertices());
  const auto it = std::partition_point(levelVertices_.begin(), levelVertices_.end(),
                                       [vertices](std::uint32_t n) { return n > vertices; });
  SetLevel(static_cast<std::size_t>(it - levelVertices_.begin()));
}

std::span<const std::byte> ProgressiveMesh::IndexBytes() const noexcept {
  if (!indices32_.empty()) return std::as_bytes(std::span(indices32_));
  return std::as_bytes(std::span(indices16_));
}

}  // namespace zr::d3dx9::pmesh
