// State of the fake Direct3D 9 that tests inspect.
#pragma once

#include <d3d9.h>

#include <map>

namespace fake::d3d9 {

struct State {
  // The present parameters of the last CreateDevice and the last Reset, as passed.
  D3DPRESENT_PARAMETERS createParameters{};
  D3DPRESENT_PARAMETERS resetParameters{};
  // What SetTransform, SetLight and LightEnable last set, by state or index.
  std::map<DWORD, D3DMATRIX> transforms;
  std::map<DWORD, D3DLIGHT9> lights;
  std::map<DWORD, BOOL> lightsEnabled;
};

State& Get();

}  // namespace fake::d3d9
