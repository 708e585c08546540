// What the engine's unit tests share: a fresh recording fake for each test, run in a scratch
// directory that catches error.log, and a fake device with a texture manager on it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errorfile/zr_ErrorException.h"
#include "fake_com.h"
#include "fake_state.h"
#include "fake_platform.h"
#include "graphics/zr_TextureManager.h"
#include "scratch_directory.h"

using fake::Args;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() { p.Reset(); }
  ~EngineTest() override { device->Release(); }
  std::string Log() const { return dir.Read(kErrorLogFile); }
  // Every call since the last reset as "name arguments".
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (const fake::Call& c : p.Calls()) out.push_back(c.name + (c.args.empty() ? "" : " ") + c.Joined());
    return out;
  }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
  IDirect3DDevice9* device = fake::d3d9::NewDevice();
  zr_TextureManager manager;
};

// The report that `run` raised; error number 999 when it raised none.
template <typename Run>
zr_ErrorException Raised(Run run) {
  try {
    run();
    return zr_ErrorException(999, "nothing raised", 0);
  } catch (const zr_ErrorException& e) {
    return e;
  }
}
