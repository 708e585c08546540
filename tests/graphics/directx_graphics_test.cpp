#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "errorfile/zr_ErrorException.h"
#include "fake_d3d9.h"
#include "fake_platform.h"
#include "graphics/zr_DirectXGraphics.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

HWND kWindow = reinterpret_cast<HWND>(0x4242);

class DirectXGraphics : public ::testing::Test {
 protected:
  void SetUp() override { p.Reset(); }
  // Init, and the report it raised (an empty one when it raised none).
  zr_ErrorException InitRaising(bool windowed = false, int depth = 16, bool reference = false) {
    try {
      graphics.Init(kWindow, windowed, depth, reference, 1024, 768, "error.log");
    } catch (zr_ErrorException& e) {
      return e;
    }
    return zr_ErrorException(0, "", 0);
  }
  std::vector<std::string> DeviceCalls(const std::string& method) const {
    std::vector<std::string> out;
    for (const fake::Call& c : p.CallsTo("IDirect3DDevice9::" + method)) {
      std::string joined;
      for (const std::string& a : c.args) joined += (joined.empty() ? "" : " ") + a;
      out.push_back(joined);
    }
    return out;
  }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
  zr_DirectXGraphics graphics;
};

TEST_F(DirectXGraphics, FullScreenInitAsksForTheBackBufferDepthAndStates) {
  ASSERT_EQ(InitRaising().message, "");
  EXPECT_EQ(p.CallsTo("Direct3DCreate9")[0].Arg(0), "32");
  fake::Call create = p.CallsTo("IDirect3D9::CreateDevice")[0];
  EXPECT_THAT(create.args, ElementsAre("0", "1", "ptr", "32", "ptr"));

  const D3DPRESENT_PARAMETERS& pp = fake::d3d9::Get().createParameters;
  EXPECT_EQ(pp.BackBufferWidth, 1024u);
  EXPECT_EQ(pp.BackBufferHeight, 768u);
  EXPECT_EQ(pp.BackBufferFormat, D3DFMT_A8R8G8B8);
  EXPECT_EQ(pp.BackBufferCount, 0u);
  EXPECT_EQ(pp.MultiSampleType, D3DMULTISAMPLE_NONE);
  EXPECT_EQ(pp.SwapEffect, D3DSWAPEFFECT_DISCARD);
  EXPECT_EQ(pp.hDeviceWindow, kWindow);
  EXPECT_EQ(pp.Windowed, FALSE);
  EXPECT_EQ(pp.EnableAutoDepthStencil, TRUE);
  EXPECT_EQ(pp.AutoDepthStencilFormat, D3DFMT_D16);
  EXPECT_EQ(pp.Flags, 0u);
  EXPECT_EQ(pp.FullScreen_RefreshRateInHz, 0u);
  EXPECT_EQ(pp.PresentationInterval, 0u);

  EXPECT_THAT(DeviceCalls("SetSamplerState"), ElementsAre("0 6 2", "0 5 2", "0 7 2"));
  EXPECT_THAT(DeviceCalls("SetRenderState"), ElementsAre("15 1", "24 1", "25 7"));
  EXPECT_FALSE(dir.Exists("error.log"));
}

TEST_F(DirectXGraphics, WindowedAndDepthVariants) {
  struct Case {
    bool windowed;
    int depth;
    BOOL autoDepth;
    D3DFORMAT format;
    const char* clear;
  };
  const Case cases[] = {
      {true, 0, FALSE, D3DFMT_UNKNOWN, "0 <null> 1 4278190080 0 0"},
      {false, 32, TRUE, D3DFMT_D32, "0 <null> 3 4278190080 1 0"},
      {false, 24, TRUE, D3DFMT_UNKNOWN, "0 <null> 3 4278190080 1 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.depth);
    p.Reset();
    zr_DirectXGraphics g;
    g.Init(kWindow, c.windowed, c.depth, false, 640, 480, "error.log");
    const D3DPRESENT_PARAMETERS& pp = fake::d3d9::Get().createParameters;
    EXPECT_EQ(pp.Windowed, c.windowed ? TRUE : FALSE);
    EXPECT_EQ(pp.BackBufferWidth, c.windowed ? 0u : 640u);
    EXPECT_EQ(pp.EnableAutoDepthStencil, c.autoDepth);
    EXPECT_EQ(pp.AutoDepthStencilFormat, c.format);
    g.Clear(0xFF000000, 5, 5, 0, 7);
    EXPECT_EQ(DeviceCalls("Clear").back(), c.clear);
  }
}

TEST_F(DirectXGraphics, ClearTakesTheWholeTargetOrOneRectangle) {
  InitRaising();
  graphics.Clear(0xFF102030, 3, 4, 0, 10);
  graphics.Clear(0xFF102030, 3, 4, 10, 0);
  graphics.Clear(0x80FFFFFF, 10, 20, 64, 32);
  EXPECT_THAT(DeviceCalls("Clear"), ElementsAre("0 <null> 3 4279246896 1 0", "0 <null> 3 4279246896 1 0",
                                                "1 10,20,74,52 3 2164260863 1 0"));
}

TEST_F(DirectXGraphics, ReferenceDeviceIsLoggedAndCreated) {
  zr_SetErrorClock([] { return static_cast<std::time_t>(0); });
  InitRaising(false, 16, true);
  zr_SetErrorClock(nullptr);
  EXPECT_EQ(p.CallsTo("IDirect3D9::CreateDevice")[0].Arg(1), "2");
  EXPECT_THAT(dir.Read("error.log"), HasSubstr(" ** Error_11 ** Starting DirectGraphics, in Reference Device Mode"));
}

TEST_F(DirectXGraphics, FailuresRaiseTheirReportsAndStop) {
  p.ResultForCall("Direct3DCreate9", 1, 0);
  zr_ErrorException noObject = InitRaising();
  EXPECT_EQ(noObject.errorNumber, 1u);
  EXPECT_EQ(noObject.message, "Error, can't create a D3D Object.");
  EXPECT_EQ(p.CountOf("IDirect3D9::CreateDevice"), 0u);

  p.Reset();
  zr_DirectXGraphics g1;
  p.ResultForCall("IDirect3D9::CreateDevice", 1, D3DERR_NOTAVAILABLE);
  try {
    g1.Init(kWindow, false, 16, false, 1024, 768, "error.log");
    FAIL();
  } catch (zr_ErrorException& e) {
    EXPECT_EQ(e.errorNumber, 2u);
    EXPECT_THAT(e.message, HasSubstr("Error by creating a Device"));
    EXPECT_THAT(e.message, HasSubstr("D3DERR_NOTAVAILABLE"));
  }
  EXPECT_EQ(g1.GetDevice(), nullptr);
}

TEST_F(DirectXGraphics, EveryStateInitSetsIsCheckedAndAFailureStopsInitThere) {
  // Each checked call of Init, failed in turn with a different result: the report carries that
  // call's number and text and the result's name, nothing after the failing call is made, and
  // the device stays created.
  struct Case {
    const char* method;
    int nth;
    const char* args;  // the failing call, so each row is the state it claims to be
    HRESULT result;
    const char* resultName;
    unsigned errorNumber;
    const char* text;
    size_t samplerCalls, renderCalls;
  };
  const char* const sampler = "Error by setting sample state";
  const char* const render = "Error by setting render state";
  const Case cases[] = {
      {"SetSamplerState", 1, "0 6 2", D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL", 15, sampler, 1, 0},
      {"SetSamplerState", 2, "0 5 2", D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", 15, sampler, 2, 0},
      {"SetSamplerState", 3, "0 7 2", E_OUTOFMEMORY, "E_OUTOFMEMORY", 15, sampler, 3, 0},
      {"SetRenderState", 1, "15 1", D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL", 14, render, 3, 1},
      {"SetRenderState", 2, "24 1", D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", 14, render, 3, 2},
      {"SetRenderState", 3, "25 7", E_OUTOFMEMORY, "E_OUTOFMEMORY", 14, render, 3, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " #" + std::to_string(c.nth));
    p.Reset();
    zr_DirectXGraphics g;
    p.ResultForCall(std::string("IDirect3DDevice9::") + c.method, c.nth, c.result);
    try {
      g.Init(kWindow, false, 16, false, 1024, 768, "error.log");
      ADD_FAILURE() << "Init did not raise";
    } catch (zr_ErrorException& e) {
      EXPECT_EQ(e.errorNumber, c.errorNumber);
      EXPECT_THAT(e.message, HasSubstr(c.text));
      EXPECT_THAT(e.message, HasSubstr(c.resultName));
    }
    ASSERT_EQ(DeviceCalls(c.method).size(), static_cast<size_t>(c.nth));
    EXPECT_EQ(DeviceCalls(c.method).back(), c.args);
    EXPECT_EQ(p.CountOf("IDirect3DDevice9::SetSamplerState"), c.samplerCalls);
    EXPECT_EQ(p.CountOf("IDirect3DDevice9::SetRenderState"), c.renderCalls);
    EXPECT_NE(g.GetDevice(), nullptr);
  }
  EXPECT_FALSE(dir.Exists("error.log")) << "a raised report is left to the top level to log";
}

TEST_F(DirectXGraphics, CooperativeLevelMapsToTwoOneOrZero) {
  InitRaising();
  const std::pair<HRESULT, int> cases[] = {
      {D3DERR_DEVICELOST, 2}, {D3DERR_DEVICENOTRESET, 1}, {D3D_OK, 0}, {E_FAIL, 0}, {S_FALSE, 0}};
  int n = 0;
  for (auto [hr, expected] : cases) {
    p.ResultForCall("IDirect3DDevice9::TestCooperativeLevel", ++n, hr);
    EXPECT_EQ(graphics.TestCooperativeLevel(), expected) << hr;
  }
  p.ResultForCall("IDirect3DDevice9::TestCooperativeLevel", ++n, D3DERR_DRIVERINTERNALERROR);
  try {
    graphics.TestCooperativeLevel();
    FAIL();
  } catch (zr_ErrorException& e) {
    EXPECT_EQ(e.errorNumber, 0u);
    EXPECT_EQ(e.message, "Internal error -shuting down");
  }
}

TEST_F(DirectXGraphics, PresentEndsTheSceneAndPassesLossOnResetReusesTheParameters) {
  InitRaising();
  p.ResultForCall("IDirect3DDevice9::Present", 1, D3DERR_DEVICELOST);
  graphics.BeginScene();
  EXPECT_EQ(graphics.Present(), D3DERR_DEVICELOST);
  graphics.RestoreObject();
  auto names = p.Names();
  std::vector<std::string> frame(names.end() - 4, names.end());
  EXPECT_THAT(frame, ElementsAre("IDirect3DDevice9::BeginScene", "IDirect3DDevice9::EndScene",
                                 "IDirect3DDevice9::Present", "IDirect3DDevice9::Reset"));
  EXPECT_THAT(p.CallsTo("IDirect3DDevice9::Present")[0].args, ElementsAre("<null>", "<null>", "<null>", "<null>"));
  EXPECT_EQ(0, std::memcmp(&fake::d3d9::Get().resetParameters, &fake::d3d9::Get().createParameters,
                           sizeof(D3DPRESENT_PARAMETERS)));
}

TEST_F(DirectXGraphics, ReleasesTheDeviceBeforeTheDirect3DObject) {
  {
    zr_DirectXGraphics g;
    g.Init(kWindow, false, 16, false, 1024, 768, "error.log");
    p.Reset();
  }
  EXPECT_THAT(p.Names(), ElementsAre("IDirect3DDevice9::Release", "IDirect3D9::Release"));
  p.Reset();
  { zr_DirectXGraphics never; }
  EXPECT_TRUE(p.Calls().empty());
}

TEST_F(DirectXGraphics, ScreenshotSavesTheFrontBufferAndReleasesTheSurface) {
  InitRaising();
  p.Reset();
  graphics.CreateScreenshot("shot");
  EXPECT_THAT(p.Names(), ElementsAre("IDirect3DDevice9::CreateOffscreenPlainSurface",
                                     "IDirect3DDevice9::GetFrontBufferData", "D3DXSaveSurfaceToFileA",
                                     "IDirect3DSurface9::Release"));
  EXPECT_THAT(p.Calls()[0].args, ElementsAre("1024", "768", "21", "2", "<null>"));
  EXPECT_EQ(p.Calls()[2].Arg(0), "shot");
  EXPECT_EQ(p.Calls()[2].Arg(1), "0");

  p.Reset();
  p.ResultForCall("IDirect3DDevice9::CreateOffscreenPlainSurface", 1, D3DERR_OUTOFVIDEOMEMORY);
  graphics.CreateScreenshot("shot");
  EXPECT_THAT(p.Names(), ElementsAre("IDirect3DDevice9::CreateOffscreenPlainSurface"));
}

TEST_F(DirectXGraphics, BackBufferComesWithAReferenceOrNull) {
  InitRaising();
  IDirect3DSurface9* back = graphics.GetBackBuffer();
  ASSERT_NE(back, nullptr);
  EXPECT_THAT(p.CallsTo("IDirect3DDevice9::GetBackBuffer")[0].args, ElementsAre("0", "0", "0"));
  back->Release();
  p.ResultForCall("IDirect3DDevice9::GetBackBuffer", 2, D3DERR_INVALIDCALL);
  EXPECT_EQ(graphics.GetBackBuffer(), nullptr);
}

}  // namespace
