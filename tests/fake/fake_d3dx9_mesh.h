// State of the fake D3DX meshes that tests set up.
#pragma once

#include <d3dx9.h>

#include <map>
#include <string>
#include <vector>

#include "fake_platform.h"

namespace fake::d3dx9mesh {

struct MaterialFile {
  D3DMATERIAL9 material{};
  std::string texture;  // empty: none
};

struct MeshFile {
  DWORD faces = 1000;
  DWORD minFaces = 300;  // what the progressive mesh reaches at least
  std::vector<MaterialFile> materials;
};

struct State {
  // .X files the loader knows, by name.
  std::map<std::string, MeshFile> files;
  int meshesMade = 0;  // meshes are numbered in the order they are made
};

inline State& Get() { return StateOf<State>(); }

}  // namespace fake::d3dx9mesh
