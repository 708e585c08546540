// State of the fake Direct3D 9 that tests inspect.
#pragma once

#include <d3d9.h>

#include <cstdint>
#include <map>
#include <vector>

#include "fake_platform.h"

namespace fake::d3d9 {

struct State {
  // The present parameters of the last CreateDevice and the last Reset, as passed.
  D3DPRESENT_PARAMETERS createParameters{};
  D3DPRESENT_PARAMETERS resetParameters{};
  // What SetTransform and SetLight last set, by state or index.
  std::map<DWORD, D3DMATRIX> transforms;
  std::map<DWORD, D3DLIGHT9> lights;
};

inline State& Get() { return StateOf<State>(); }

// A device of the fake for code under test, made without recording; the caller releases it.
IDirect3DDevice9* NewDevice();

// The bytes of a live vertex or index buffer of the fake (what locks wrote into it, kept from
// lock to lock), or null when `buffer` is not one.
const std::vector<std::uint8_t>* BufferBytes(const void* buffer);

}  // namespace fake::d3d9
