// State of the fake Direct3D 9 that tests inspect.
#pragma once

#include <d3d9.h>

namespace fake::d3d9 {

struct State {
  // The present parameters of the last CreateDevice and the last Reset, as passed.
  D3DPRESENT_PARAMETERS createParameters{};
  D3DPRESENT_PARAMETERS resetParameters{};
};

State& Get();

}  // namespace fake::d3d9
