// D3DX progressive meshes on the CPU: optimising (vertex-cache and fetch order, with the cache's
// misses per triangle before and after: the order must lower them) and building the
// progressive mesh of a generated 50,000-triangle model (a bumpy sphere in two materials with a
// texture seam, 32-byte vertices) down to 300 faces, and the runtime's sweep from the maximum to
// the minimum and back, in two jumps and in 100 steps each way (target: at most 0.5 ms). Assimp's
// import of the same model written as an OBJ file is timed beside them when Assimp is there.
// --triangles=N picks another size.
#include <benchmark/benchmark.h>
#include <meshoptimizer.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_mesh_model.h"
#include "pmesh.h"

#ifdef ZR_HAVE_ASSIMP
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#endif

namespace {

using namespace zr::d3dx9::pmesh;
using zr::bench::Model;
using zr::bench::Vertex;

std::uint32_t g_triangles = 50000;
constexpr std::uint32_t kMinFaces = 300;

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

// Average cache misses per triangle of a 16-entry vertex cache (0.5 at best, 3 at worst).
double Acmr(const MeshInput& m) {
  return meshopt_analyzeVertexCache(m.faces.data()->data(), m.faces.size() * 3, m.positions.size(), 16, 0, 0).acmr;
}

void BM_Optimize(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    MeshInput m = TheModel();
    state.ResumeTiming();
    benchmark::DoNotOptimize(Optimize(m, kOptVertexCache));
  }
  state.counters["triangles"] = static_cast<double>(TheModel().faces.size());
  state.counters["acmr_before"] = Acmr(TheModel());
  state.counters["acmr_after"] = Acmr(OptimisedModel());
  if (Acmr(OptimisedModel()) >= Acmr(TheModel())) state.SkipWithError("the vertex-cache order did not help");
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

// The same way in 100 equal steps down and 100 back up: the runtime's share of the device
// benchmark's stepped sweep.
void BM_SweepSteppedMaxMinMax(benchmark::State& state) {
  ProgressiveMesh pm = Build(OptimisedModel(), kMinFaces);
  constexpr std::uint32_t kSteps = 100;
  const std::uint32_t max = pm.GetMaxFaces(), min = pm.GetMinFaces();
  std::vector<std::uint32_t> levels;
  for (std::uint32_t i = 1; i <= kSteps; ++i) levels.push_back(max - (max - min) * i / kSteps);
  for (std::uint32_t i = kSteps; i-- > 0;) levels.push_back(max - (max - min) * i / kSteps);
  for (auto _ : state) {
    for (std::uint32_t faces : levels) pm.SetNumFaces(faces);
    benchmark::DoNotOptimize(pm.IndexBytes().data());
  }
  if (pm.GetNumFaces() != max) state.SkipWithError("the sweep did not come back");
  state.counters["changes"] = static_cast<double>(levels.size());
}
BENCHMARK(BM_SweepSteppedMaxMinMax)->Unit(benchmark::kMicrosecond);

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
