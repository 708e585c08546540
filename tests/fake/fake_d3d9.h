// State of the fake Direct3D 9 that tests inspect.
#pragma once

#include <d3d9.h>

#include <array>
#include <cstdint>
#include <map>
#include <vector>

namespace fake::d3d9 {

struct State {
  // The present parameters of the last CreateDevice and the last Reset, as passed.
  D3DPRESENT_PARAMETERS createParameters{};
  D3DPRESENT_PARAMETERS resetParameters{};
  // What SetTransform, SetLight and LightEnable last set, by state or index.
  std::map<DWORD, D3DMATRIX> transforms;
  std::map<DWORD, D3DLIGHT9> lights;
  std::map<DWORD, BOOL> lightsEnabled;
  // What SetFVF, SetStreamSource (stream 0), SetIndices, SetMaterial and SetTextureStageState
  // last set.
  DWORD fvf = 0;
  const void* streamSource = nullptr;
  UINT streamOffset = 0;
  UINT streamStride = 0;
  const void* indices = nullptr;
  D3DMATERIAL9 material{};
  std::map<std::pair<DWORD, DWORD>, DWORD> textureStageStates;  // by stage and state
};

State& Get();

// The bytes of a live vertex or index buffer of the fake (what locks wrote into it, kept from
// lock to lock), or null when `buffer` is not one.
const std::vector<std::uint8_t>* BufferBytes(const void* buffer);

}  // namespace fake::d3d9
