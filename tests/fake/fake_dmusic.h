// State of the fake COM and DirectMusic that tests set up.
#pragma once

#include <dmusici.h>

#include <set>
#include <string>

#include "fake_platform.h"

namespace fake::dmusic {

struct State {
  // Files the loader can load, by the name as passed (narrow).
  std::set<std::string> files;
};

inline State& Get() { return StateOf<State>(); }

}  // namespace fake::dmusic
