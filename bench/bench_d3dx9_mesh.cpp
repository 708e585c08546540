// D3DX's mesh objects on the real device (llvmpipe), with the pmesh benchmark's model (a bumpy
// sphere of 50,000 triangles in two materials with a texture seam) written as a binary .X file:
//
// 1. D3DXLoadMeshFromXA of the file, and Assimp's import of the same file beside it.
// 2. The engine's load: zr_3DObject::LoadFromFile (load into system memory, OptimizeInplace, the
//    material's texture through the texture manager, GenerateAdjacency, D3DXCleanMesh,
//    D3DXValidMesh, D3DXGeneratePMesh to 300 faces, ClonePMeshFVF into the default pool), and
//    its COM steps one by one.
// 3. SetNumFaces on the default-pool clone (the runtime's rewrites and the upload of the slots
//    they touch): from the maximum to the minimum and back in two jumps, and in 100 equal steps
//    each way, each step with its upload. A level change may allocate nothing: the sweep counts
//    the allocations on its thread and fails when there are any.
// 4. Frames of the progressive mesh at full detail and at 300 faces, 1024x768 with a depth buffer,
//    lit, about two thirds of the picture's height: each frame Clear, SetNumFaces and DrawSubset
//    per material, Present, glFinish (frames finished one by one). Real time per frame, frames per
//    second, and the calling thread's processor time per DrawSubset.
//
// Needs a display or SDL_VIDEODRIVER=offscreen. --triangles=N picks another size.
#include <benchmark/benchmark.h>
#include <d3dx9.h>
#include <epoxy/gl.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "bench_mesh_model.h"
#include "d3d9_bench_support.h"
#include "d3d9_testing.h"
#include "d3dx9_bench_support.h"
#include "graphics/zr_TextureManager.h"
#include "objects3d/zr_3DObject.h"

#ifdef ZR_HAVE_ASSIMP
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#endif

namespace {

using zr::bench::MeshInput;
using zr::bench::Vertex;

constexpr int kWidth = 1024, kHeight = 768;
constexpr DWORD kMinFaces = 300;
constexpr DWORD kOptimize = D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE;

std::uint32_t g_triangles = 50000;
IDirect3DDevice9* g_device = nullptr;
std::string g_file;     // the model as a binary .X file
std::string g_texture;  // its first material's texture, a PNG file beside it

template <class T>
void Release(T*& p) {
  if (p != nullptr) p->Release();
  p = nullptr;
}

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The model as a binary .X file: tokens of 16 bits, names and strings with a 32-bit length before
// them, integer and float lists with a 32-bit count. Two materials, the first with a texture.
class BinaryXFile {
 public:
  void Token(unsigned t) { bytes += {static_cast<char>(t & 0xFF), static_cast<char>((t >> 8) & 0xFF)}; }
  void Dword(std::uint32_t v) { Token(v & 0xFFFF), Token(v >> 16); }
  void Begin(const std::string& type) { Token(1), Dword(static_cast<std::uint32_t>(type.size())), bytes += type, Token(10); }
  void End() { Token(11); }
  void Ints(const std::vector<std::uint32_t>& v) {
    Token(6), Dword(static_cast<std::uint32_t>(v.size()));
    for (std::uint32_t x : v) Dword(x);
  }
  void Floats(const std::vector<float>& v) {
    Token(7), Dword(static_cast<std::uint32_t>(v.size()));
    for (float f : v) bytes.append(reinterpret_cast<const char*>(&f), 4);
  }
  void String(const std::string& s) { Token(2), Dword(static_cast<std::uint32_t>(s.size())), bytes += s, Token(20); }
  std::string bytes = "xof 0303bin 0032";
};

std::string ModelFile(const MeshInput& m) {
  std::vector<float> positions, normals, uvs;
  for (std::size_t v = 0; v < m.positions.size(); ++v) {
    Vertex vx;
    std::memcpy(&vx, m.payload.data() + v * sizeof vx, sizeof vx);
    positions.insert(positions.end(), vx.position, vx.position + 3);
    normals.insert(normals.end(), vx.normal, vx.normal + 3);
    uvs.insert(uvs.end(), vx.uv, vx.uv + 2);
  }
  std::vector<std::uint32_t> faces;  // MeshFace: 3, then the corners
  for (const auto& f : m.faces) faces.insert(faces.end(), {3, f[0], f[1], f[2]});
  const auto vertexCount = static_cast<std::uint32_t>(m.positions.size()), faceCount = static_cast<std::uint32_t>(m.faces.size());
  BinaryXFile x;
  x.Begin("Mesh");
  x.Ints({vertexCount}), x.Floats(positions), x.Ints({faceCount}), x.Ints(faces);
  x.Begin("MeshNormals");
  x.Ints({vertexCount}), x.Floats(normals), x.Ints({faceCount}), x.Ints(faces);
  x.End();
  x.Begin("MeshTextureCoords");
  x.Ints({vertexCount}), x.Floats(uvs);
  x.End();
  x.Begin("MeshMaterialList");
  x.Ints({2, faceCount}), x.Ints(m.attributes);
  for (int i = 0; i < 2; ++i) {  // faceColor, power, specular, emissive
    x.Begin("Material");
    x.Floats(i == 0 ? std::vector<float>{0.8f, 0.5f, 0.3f, 1, 20, 0, 0, 0, 0, 0, 0} : std::vector<float>{0.3f, 0.4f, 0.8f, 1, 20, 0, 0, 0, 0, 0, 0});
    if (i == 0) x.Begin("TextureFilename"), x.String(g_texture), x.End();
    x.End();
  }
  x.End();
  x.End();
  return x.bytes;
}

ID3DXMesh* LoadModel() {
  ID3DXMesh* mesh = nullptr;
  D3DXLoadMeshFromXA(g_file.c_str(), D3DXMESH_SYSTEMMEM, g_device, nullptr, nullptr, nullptr, nullptr, &mesh);
  return mesh;
}

// The engine's steps from a loaded mesh to its progressive mesh in system memory.
ID3DXPMesh* Progressive(ID3DXMesh* mesh) {
  const DWORD faces = mesh->GetNumFaces();
  std::vector<DWORD> adjacency(faces * 3), cleanedAdjacency(faces * 3);
  mesh->GenerateAdjacency(0.0f, adjacency.data());
  ID3DXMesh* cleaned = nullptr;
  ID3DXBuffer* warnings = nullptr;
  D3DXCleanMesh(D3DXCLEAN_BACKFACING, mesh, adjacency.data(), &cleaned, cleanedAdjacency.data(), &warnings);
  Release(warnings);
  ID3DXPMesh* progressive = nullptr;
  if (cleaned != nullptr && D3DXValidMesh(cleaned, cleanedAdjacency.data(), nullptr) == D3D_OK)
    D3DXGeneratePMesh(cleaned, cleanedAdjacency.data(), nullptr, nullptr, kMinFaces, D3DXMESHSIMP_FACE, &progressive);
  Release(cleaned);
  return progressive;
}

// The optimised model and its progressive mesh, made once for the benchmarks that start there.
struct Prepared {
  ID3DXMesh* optimised = nullptr;
  ID3DXPMesh* master = nullptr;  // system memory
  ID3DXPMesh* local = nullptr;   // the default pool
};
Prepared* g_prepared = nullptr;
const Prepared& Prepare() {
  if (g_prepared == nullptr) {
    g_prepared = new Prepared;
    Prepared& made = *g_prepared;
    made.optimised = LoadModel();
    if (made.optimised == nullptr) return made;
    made.optimised->OptimizeInplace(kOptimize, nullptr, nullptr, nullptr, nullptr);
    made.master = Progressive(made.optimised);
    if (made.master != nullptr) made.master->ClonePMeshFVF(0, made.master->GetFVF(), g_device, &made.local);
  }
  return *g_prepared;
}

void BM_LoadMeshFromX(benchmark::State& state) {
  DWORD faces = 0, vertices = 0;
  for (auto _ : state) {
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer *adjacency = nullptr, *materials = nullptr;
    DWORD count = 0;
    if (D3DXLoadMeshFromXA(g_file.c_str(), D3DXMESH_SYSTEMMEM, g_device, &adjacency, &materials, nullptr, &count,
                           &mesh) != D3D_OK) {
      state.SkipWithError("the load failed");
      break;
    }
    faces = mesh->GetNumFaces();
    vertices = mesh->GetNumVertices();
    Release(mesh);
    Release(adjacency);
    Release(materials);
  }
  state.counters["faces"] = faces;
  state.counters["vertices"] = vertices;
}
BENCHMARK(BM_LoadMeshFromX)->Unit(benchmark::kMillisecond);

#ifdef ZR_HAVE_ASSIMP
// The same file read by Assimp with no post-processing: a peer for reading a .X file at all.
void BM_AssimpImportX(benchmark::State& state) {
  unsigned faces = 0;
  for (auto _ : state) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(g_file, 0);
    if (scene == nullptr) {
      state.SkipWithError(importer.GetErrorString());
      break;
    }
    faces = 0;
    for (unsigned i = 0; i < scene->mNumMeshes; ++i) faces += scene->mMeshes[i]->mNumFaces;
  }
  state.counters["faces"] = faces;
}
BENCHMARK(BM_AssimpImportX)->Unit(benchmark::kMillisecond);
#endif

void BM_OptimizeInplace(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    ID3DXMesh* mesh = LoadModel();
    state.ResumeTiming();
    if (mesh == nullptr || mesh->OptimizeInplace(kOptimize, nullptr, nullptr, nullptr, nullptr) != D3D_OK) {
      state.SkipWithError("no optimised mesh");
      Release(mesh);
      break;
    }
    state.PauseTiming();
    Release(mesh);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OptimizeInplace)->Unit(benchmark::kMillisecond);

// Adjacency, clean, validate and D3DXGeneratePMesh from the optimised mesh.
void BM_CleanValidateGeneratePMesh(benchmark::State& state) {
  const Prepared& p = Prepare();
  DWORD minFaces = 0;
  for (auto _ : state) {
    ID3DXPMesh* progressive = p.optimised != nullptr ? Progressive(p.optimised) : nullptr;
    if (progressive == nullptr) {
      state.SkipWithError("no progressive mesh");
      break;
    }
    minFaces = progressive->GetMinFaces();
    Release(progressive);
  }
  state.counters["min_faces"] = minFaces;
}
BENCHMARK(BM_CleanValidateGeneratePMesh)->Unit(benchmark::kMillisecond);

// zr_3DObject::LoadFromFile, from the file to the default-pool clone it draws, and the object's
// end (Destroy: the meshes, the arrays, the texture).
void BM_EngineLoad(benchmark::State& state) {
  zr_TextureManager textures;
  textures.Initialise(g_device);
  int maxFaces = 0;
  bool textured = false;
  for (auto _ : state) {
    zr_3DObject object;
    object.Initialise(g_device, &textures, true);
    if (object.LoadFromFile(g_file.c_str(), 0) != 0 || !object.Restored()) {
      state.SkipWithError("the engine's load failed");
      break;
    }
    maxFaces = object.GetMaxFaces();
    textured = textures.GetTexture(g_texture.c_str()) != nullptr;
  }
  state.counters["max_faces"] = maxFaces;
  state.counters["textured"] = textured ? 1 : 0;
}
BENCHMARK(BM_EngineLoad)->Unit(benchmark::kMillisecond);

void BM_ClonePMeshToDefaultPool(benchmark::State& state) {
  const Prepared& p = Prepare();
  for (auto _ : state) {
    ID3DXPMesh* clone = nullptr;
    if (p.master == nullptr || p.master->ClonePMeshFVF(0, p.master->GetFVF(), g_device, &clone) != D3D_OK) {
      state.SkipWithError("no clone");
      break;
    }
    Release(clone);
  }
}
BENCHMARK(BM_ClonePMeshToDefaultPool)->Unit(benchmark::kMillisecond);

// The worst jump the engine can ask for, with the device's index buffer kept up to date.
void BM_SetNumFacesMaxMinMax(benchmark::State& state) {
  ID3DXPMesh* local = Prepare().local;
  if (local == nullptr) {
    state.SkipWithError("no progressive mesh");
    return;
  }
  for (auto _ : state) {
    local->SetNumFaces(0);
    local->SetNumFaces(~0u);
  }
  state.counters["max_faces"] = local->GetMaxFaces();
  state.counters["min_faces"] = local->GetMinFaces();
}
BENCHMARK(BM_SetNumFacesMaxMinMax)->Unit(benchmark::kMicrosecond);

// The same way in 100 equal steps down and 100 back up, each with its upload: a level of detail
// that follows the distance frame by frame, compressed into one sweep.
void BM_SetNumFacesSteppedSweep(benchmark::State& state) {
  ID3DXPMesh* local = Prepare().local;
  if (local == nullptr) {
    state.SkipWithError("no progressive mesh");
    return;
  }
  constexpr DWORD kSteps = 100;
  const DWORD max = local->GetMaxFaces(), min = local->GetMinFaces();
  std::vector<DWORD> levels;
  for (DWORD i = 1; i <= kSteps; ++i) levels.push_back(max - (max - min) * i / kSteps);
  for (DWORD i = kSteps; i-- > 0;) levels.push_back(max - (max - min) * i / kSteps);
  local->SetNumFaces(max);
  std::size_t allocations = 0;
  for (auto _ : state) {
    zr::bench::AllocationCount count;
    for (DWORD faces : levels) local->SetNumFaces(faces);
    allocations += count.Count();
  }
  if (local->GetNumFaces() != max) state.SkipWithError("the sweep did not come back");
  if (allocations != 0) state.SkipWithError("a level change allocated");
  state.counters["changes"] = static_cast<double>(levels.size());
  state.counters["allocations"] = static_cast<double>(allocations);
}
BENCHMARK(BM_SetNumFacesSteppedSweep)->Unit(benchmark::kMicrosecond);

// Finished frames of the default-pool clone at `faces` (0: all).
void BM_DrawFrame(benchmark::State& state) {
  ID3DXPMesh* local = Prepare().local;
  if (local == nullptr) {
    state.SkipWithError("no progressive mesh");
    return;
  }
  IDirect3DDevice9* d = g_device;
  const DWORD faces = state.range(0) == 0 ? local->GetMaxFaces() : static_cast<DWORD>(state.range(0));
  D3DXMATRIX view, projection, world;
  D3DXVECTOR3 eye(0, 0.5f, -3.2f), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, float(kWidth) / float(kHeight), 0.5f, 50.0f);
  D3DXMatrixRotationY(&world, 0.6f);
  d->SetTransform(D3DTS_VIEW, &view);
  d->SetTransform(D3DTS_PROJECTION, &projection);
  d->SetTransform(D3DTS_WORLD, &world);
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 1};
  light.Direction = {1, -1, 1};
  d->SetLight(0, &light);
  d->LightEnable(0, TRUE);
  d->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
  D3DMATERIAL9 materials[2]{};
  materials[0].Diffuse = {0.8f, 0.5f, 0.3f, 1};
  materials[1].Diffuse = {0.3f, 0.4f, 0.8f, 1};
  double drawSeconds = 0;
  for (auto _ : state) {
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040, 1, 0);
    d->BeginScene();
    const double start = ThreadSeconds();
    for (DWORD m = 0; m < 2; ++m) {
      d->SetMaterial(&materials[m]);
      local->SetNumFaces(faces);
      local->DrawSubset(m);
    }
    drawSeconds += ThreadSeconds() - start;
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
  }
  const auto frames = static_cast<double>(state.iterations());
  state.counters["faces"] = local->GetNumFaces();
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["draw_us"] = frames > 0 ? drawSeconds / (2 * frames) * 1e6 : 0;
}
BENCHMARK(BM_DrawFrame)->Arg(0)->Arg(kMinFaces)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--triangles=", 12) == 0) {
      g_triangles = static_cast<std::uint32_t>(std::strtoul(argv[i] + 12, nullptr, 10));
      if (g_triangles < 1000) g_triangles = 1000;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  // The model and its texture in a folder of their own; the file names the texture by its path.
  const d3dx9bench::ScratchFolder folder;
  g_file = folder.File("model.x");
  g_texture = folder.File("skin.png");
  if (!folder.Made() || !d3dx9bench::WriteBallPng(g_texture)) {
    std::printf("no temporary folder\n");
    return 1;
  }
  std::ofstream(g_file, std::ios::binary) << ModelFile(zr::bench::Model(g_triangles));

  zr::d3d9::testing::SetPacing(false);
  HWND window = d3d9bench::MakeWindow(kWidth, kHeight);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  g_device = d3d9bench::MakeDepthDevice(d3d, window, kWidth, kHeight);
  if (g_device == nullptr) {
    std::printf("no device\n");
    return 1;
  }
  std::printf("video driver: %s, model: %u triangles\n", d3d9bench::VideoDriver(), g_triangles);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_prepared != nullptr) {
    Release(g_prepared->local);
    Release(g_prepared->master);
    Release(g_prepared->optimised);
    delete g_prepared;
  }
  Release(g_device);
  Release(d3d);
  DestroyWindow(window);
  return 0;
}
