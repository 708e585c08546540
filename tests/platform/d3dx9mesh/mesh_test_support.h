// Meshes written as .X files, loaded through D3DXLoadMeshFromXA on the real device, drawn and read
// back, for the tests of D3DX's mesh objects.
#pragma once

#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ff_test_support.h"
#include "mesh_internal.h"
#include "x_mesh_file.h"

namespace meshtest {

using d3d9test::Picture;
using d3d9test::Ref;
using fftest::Scene;
using zr::test::xfile::Format;
using zr::test::xfile::XMaterial;
using zr::test::xfile::XMesh;

// A file in the test's scratch directory; the path back.
inline std::string WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
  return name;
}

// A 2 x 2 panel at z = 0 facing -z, its left half (x < 0) material 0, its right half material 1,
// the faces of the two interleaved in file order: 6 vertices, 4 faces.
inline XMesh Panel() {
  XMesh m;
  m.positions = {-1, 1, 0, 0, 1, 0, 1, 1, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0};
  for (int v = 0; v < 6; ++v) m.normals.insert(m.normals.end(), {0, 0, -1});
  m.uvs = {0, 0, 0.5, 0, 1, 0, 0, 1, 0.5, 1, 1, 1};
  m.faces = {0, 1, 4, 1, 2, 5, 0, 4, 3, 1, 5, 4};
  m.attributes = {0, 1, 0, 1};
  m.materials = {{1, 0, 0, 1, 5, "textures\\left side.png"}, {0, 0, 1, 0.5, 0, ""}};
  return m;
}

// Writes `m` as `name` and loads it; the caller owns the reference (keep it in a Ref).
inline ID3DXMesh* Load(IDirect3DDevice9* device, const XMesh& m, DWORD options, const std::string& name,
                       Format format = Format::kText) {
  ID3DXMesh* mesh = nullptr;
  EXPECT_EQ(D3DXLoadMeshFromXA(WriteFile(name, XMeshFile(m, format)).c_str(), options, device, nullptr, nullptr,
                               nullptr, nullptr, &mesh),
            D3D_OK);
  return mesh;
}

// A camera at (0, 0, -3) looking at the origin; lighting on with no lights, so a material's
// emissive colour is what is drawn.
inline void Look(const Scene& s) {
  fftest::Camera({0, 0, -3}, {0, 0, 0}).Set(s.get());
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  s->SetTransform(D3DTS_WORLD, &identity);
}

// A material of one colour: emissive (drawn flat), or diffuse (shaded by the lights).
inline void SetColour(IDirect3DDevice9* d, D3DCOLOR colour, bool lit = false) {
  const D3DCOLORVALUE value = fftest::Value(((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f,
                                            (colour & 0xFF) / 255.0f);
  D3DMATERIAL9 m{};
  if (lit) m.Diffuse = value;
  else m.Emissive = value;
  d->SetMaterial(&m);
}

// A white directional light from the upper left front, and a depth test.
inline void LightUp(const Scene& s) {
  D3DLIGHT9 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {1, 1, 1, 1};
  light.Direction = {1, -1, 1};
  s->SetLight(0, &light);
  s->LightEnable(0, TRUE);
  s->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
}

// Clears to black and draws subset i in colours[i]; the back buffer read back.
inline Picture DrawSubsets(const Scene& s, ID3DXBaseMesh* mesh, const std::vector<D3DCOLOR>& colours,
                           bool lit = false) {
  s.Clear(d3d9test::kBlack);
  Look(s);
  for (DWORD i = 0; i < colours.size(); ++i) {
    SetColour(s.get(), colours[i], lit);
    EXPECT_EQ(mesh->DrawSubset(i), D3D_OK) << i;
  }
  return s.Back();
}

inline std::size_t CountNot(const Picture& p, D3DCOLOR colour) {
  std::size_t n = 0;
  for (std::uint32_t px : p.pixels) n += (px & 0xFFFFFF) != (colour & 0xFFFFFF);
  return n;
}

template <class T>
std::vector<T> Contents(IDirect3DVertexBuffer9* b) {
  D3DVERTEXBUFFER_DESC desc{};
  b->GetDesc(&desc);
  void* p = nullptr;
  std::vector<T> out(desc.Size / sizeof(T));
  if (b->Lock(0, 0, &p, D3DLOCK_READONLY) == D3D_OK) std::memcpy(out.data(), p, out.size() * sizeof(T)), b->Unlock();
  return out;
}

// Every index of the mesh's index buffer, widened.
inline std::vector<std::uint32_t> Indices(ID3DXBaseMesh* mesh) {
  Ref<IDirect3DIndexBuffer9> ib;
  EXPECT_EQ(mesh->GetIndexBuffer(ib.out()), D3D_OK);
  D3DINDEXBUFFER_DESC desc{};
  ib->GetDesc(&desc);
  const UINT size = desc.Format == D3DFMT_INDEX32 ? 4 : 2;
  std::vector<std::uint32_t> out(desc.Size / size);
  void* p = nullptr;
  EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &p), D3D_OK);
  for (std::size_t i = 0; p != nullptr && i < out.size(); ++i) {
    if (size == 4) std::memcpy(&out[i], static_cast<char*>(p) + i * 4, 4);
    else out[i] = static_cast<const std::uint16_t*>(p)[i];
  }
  mesh->UnlockIndexBuffer();
  return out;
}

}  // namespace meshtest
