// D3DX progressive meshes on the CPU: optimising (vertex-cache and fetch order) and building the
// progressive mesh of a generated 50,000-triangle model (a bumpy sphere in two materials with a
// texture seam, 32-byte vertices) down to 300 faces, and the runtime's sweep from the maximum to
// the minimum and back (target: at most 0.5 ms). Assimp's import of the same model written as an
// OBJ file is timed beside them when Assimp is there. --triangles=N picks another size.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pmesh.h"

#ifdef ZR_HAVE_ASSIMP
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#endif

namespace {

using namespace zr::d3dx9::pmesh;

std::uint32_t g_triangles = 50000;
constexpr std::uint32_t kMinFaces = 300;

struct Vertex {
  float position[3], normal[3], uv[2];
};

// Rings of segments + 1 vertices (the first and last one place, u 0 and 1), single poles; the
// upper half is material 0, the lower 1. 2 * segments * (rings - 1) triangles.
MeshInput Model(std::uint32_t triangles) {
  const auto bands = static_cast<std::uint32_t>(std::lround(std::sqrt(triangles / 5.0)));
  const std::uint32_t rings = bands + 1, segments = triangles / (2 * bands);
  const float pi = 3.14159265358979f;
  MeshInput m;
  m.payloadStride = sizeof(Vertex);
  auto add = [&](float theta, float phi, float u, float v) {
    const float r = 1.0f + 0.04f * std::sin(9.0f * theta) * std::cos(7.0f * phi);
    const float n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
    Vertex vx{{r * n[0], r * n[1], r * n[2]}, {n[0], n[1], n[2]}, {u, v}};
    m.positions.push_back({vx.position[0], vx.position[1], vx.position[2]});
    const auto* bytes = reinterpret_cast<const std::byte*>(&vx);
    m.payload.insert(m.payload.end(), bytes, bytes + sizeof vx);
  };
  add(0.0f, 0.0f, 0.5f, 0.0f);
  for (std::uint32_t r = 1; r < rings; ++r) {
    for (std::uint32_t s = 0; s <= segments; ++s) {
      // The seam's second copy takes the first one's angle so the positions are identical.
      add(pi * float(r) / float(rings), 2.0f * pi * float(s % segments) / float(segments),
          float(s) / float(segments), float(r) / float(rings));
    }
  }
  const auto south = static_cast<std::uint32_t>(m.positions.size());
  add(pi, 0.0f, 0.5f, 1.0f);
  auto at = [&](std::uint32_t r, std::uint32_t s) { return 1 + (r - 1) * (segments + 1) + s; };
  for (std::uint32_t s = 0; s < segments; ++s) {
    m.faces.push_back({0, at(1, s + 1), at(1, s)});
    m.faces.push_back({south, at(rings - 1, s), at(rings - 1, s + 1)});
    m.attributes.insert(m.attributes.end(), {0, 1});
  }
  for (std::uint32_t r = 1; r + 1 < rings; ++r) {
    for (std::uint32_t s = 0; s < segments; ++s) {
      const std::uint32_t a = at(r, s), b = at(r, s + 1), c = at(r + 1, s), d = at(r + 1, s + 1);
      m.faces.push_back({a, b, d});
      m.faces.push_back({a, d, c});
      m.attributes.insert(m.attributes.end(), 2, 2 * r < rings ? 0u : 1u);
    }
  }
  return m;
}

const MeshInput& TheModel() {
  static const MeshInput model = Model(g_triangles);
  return model;
}

const MeshInput& OptimisedModel() {
  static const MeshInput model = [] {
    MeshInput m = TheModel();
    Optimize(m, kOptVertexCache);
    return m;
  }();
  return model;
}

void BM_Optimize(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    MeshInput m = TheModel();
    state.ResumeTiming();
    benchmark::DoNotOptimize(Optimize(m, kOptVertexCache));
  }
  state.counters["triangles"] = static_cast<double>(TheModel().faces.size());
}
BENCHMARK(BM_Optimize)->Unit(benchmark::kMillisecond);

void BM_Build(benchmark::State& state) {
  const MeshInput& m = OptimisedModel();
  ProgressiveMesh pm;
  for (auto _ : state) pm = Build(m, kMinFaces);
  state.counters["max_faces"] = pm.GetMaxFaces();
  state.counters["min_faces"] = pm.GetMinFaces();
  state.counters["collapses"] = static_cast<double>(pm.NumCollapses());
  state.counters["record_kb"] = static_cast<double>(pm.Rewrites().size_bytes() + pm.Collapses().size_bytes() +
                                                    pm.LevelFaces().size_bytes() + pm.LevelVertices().size_bytes()) /
                                1024.0;
  state.counters["feature_edges"] = pm.Stats().featureEdges;
  state.counters["kept_faces"] = pm.Stats().keptFaces;
}
BENCHMARK(BM_Build)->Unit(benchmark::kMillisecond);

// Maximum to minimum and back, the worst jump the runtime can be asked for.
void BM_SweepMaxMinMax(benchmark::State& state) {
  ProgressiveMesh pm = Build(OptimisedModel(), kMinFaces);
  for (auto _ : state) {
    pm.SetNumFaces(0);
    pm.SetNumFaces(~0u);
    benchmark::DoNotOptimize(pm.IndexBytes().data());
  }
  state.counters["rewrites"] = static_cast<double>(pm.Rewrites().size() * 2);
}
BENCHMARK(BM_SweepMaxMinMax)->Unit(benchmark::kMicrosecond);

#ifdef ZR_HAVE_ASSIMP
// The same model as an OBJ file (positions, uvs, normals, two materials), read by Assimp with its
// vertices joined: a peer for the cost of getting a mesh of this size at all.
void BM_AssimpImportObj(benchmark::State& state) {
  const MeshInput& m = TheModel();
  char path[] = "/tmp/zr-pmesh-bench-XXXXXX.obj";
  const int fd = mkstemps(path, 4);
  if (fd < 0) {
    state.SkipWithError("no temporary file");
    return;
  }
  close(fd);
  if (FILE* f = std::fopen(path, "w")) {
    for (std::size_t v = 0; v < m.positions.size(); ++v) {
      Vertex vx;
      std::memcpy(&vx, m.payload.data() + v * sizeof vx, sizeof vx);
      std::fprintf(f, "v %.6f %.6f %.6f\nvn %.6f %.6f %.6f\nvt %.6f %.6f\n", vx.position[0], vx.position[1],
                   vx.position[2], vx.normal[0], vx.normal[1], vx.normal[2], vx.uv[0], vx.uv[1]);
    }
    for (std::uint32_t material : {0u, 1u}) {
      std::fprintf(f, "usemtl m%u\n", material);
      for (std::size_t i = 0; i < m.faces.size(); ++i) {
        if (m.attributes[i] != material) continue;
        const Face& t = m.faces[i];
        std::fprintf(f, "f %u/%u/%u %u/%u/%u %u/%u/%u\n", t[0] + 1, t[0] + 1, t[0] + 1, t[1] + 1, t[1] + 1,
                     t[1] + 1, t[2] + 1, t[2] + 1, t[2] + 1);
      }
    }
    std::fclose(f);
  }
  std::size_t meshes = 0;
  for (auto _ : state) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, aiProcess_JoinIdenticalVertices);
    if (!scene) {
      state.SkipWithError(importer.GetErrorString());
      break;
    }
    meshes = scene->mNumMeshes;
  }
  state.counters["meshes"] = static_cast<double>(meshes);
  std::remove(path);
}
BENCHMARK(BM_AssimpImportObj)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
  // Our own flag first; the rest is Google Benchmark's.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--triangles=", 12) == 0) {
      g_triangles = static_cast<std::uint32_t>(std::strtoul(argv[i] + 12, nullptr, 10));
      if (g_triangles < 100) g_triangles = 100;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
