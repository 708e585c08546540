// The device and the text of the engine against the recording fake.
#include <cstring>
#include <tuple>
#include <type_traits>

#include "engine_test.h"
#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"

namespace {

HWND kWindow = reinterpret_cast<HWND>(0x4242);
using Graphics = EngineTest;

// A copy would share the device and the Direct3D object and release both twice.
static_assert(!std::is_copy_constructible_v<zr_DirectXGraphics> && !std::is_copy_assignable_v<zr_DirectXGraphics>);

void Init(zr_DirectXGraphics& g, bool windowed = false, int depth = 16, bool reference = false) {
  g.Init(kWindow, windowed, depth, reference, 1024, 768, "error.log");
}

TEST_F(Graphics, InitAsksForTheBackBufferDepthAndStatesOfItsModeAndClearsBoth) {
  // Windowed, reference, depth; the back buffer's size (0 takes the window's) and depth format; what
  // a clear clears, and to which depth (the far end of the depth buffer, when there is one).
  const std::tuple<bool, bool, int, UINT, UINT, D3DFORMAT, DWORD, double> rows[] = {
      {false, false, 16, 1024, 768, D3DFMT_D16, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 1},
      {true, false, 0, 0, 0, D3DFMT_UNKNOWN, D3DCLEAR_TARGET, 0},
      {false, true, 32, 1024, 768, D3DFMT_D32, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 1},
  };
  for (const auto& [windowed, reference, depth, width, height, depthFormat, clearFlags, clearZ] : rows) {
    SCOPED_TRACE(depth);
    p.Reset();
    zr_DirectXGraphics g;
    Init(g, windowed, depth, reference);
    EXPECT_THAT(p.ArgsOf("Direct3DCreate9"), ElementsAre("32"));
    // Linear filtering, and an alpha test that drops only fully transparent pixels.
    EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetSamplerState"),
                ElementsAre(Args(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), Args(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR),
                            Args(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR)));
    EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::SetRenderState"),
                ElementsAre(Args(D3DRS_ALPHATESTENABLE, TRUE), Args(D3DRS_ALPHAREF, 1),
                            Args(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL)));
    const D3DDEVTYPE type = reference ? D3DDEVTYPE_REF : D3DDEVTYPE_HAL;
    EXPECT_THAT(p.ArgsOf("IDirect3D9::CreateDevice"), ElementsAre(Args(0, type, kWindow, 32, "ptr")));
    EXPECT_EQ(Log().find("Error_11 ** Starting DirectGraphics, in Reference Device Mode") != std::string::npos,
              reference);
    const D3DPRESENT_PARAMETERS& pp = fake::d3d9::Get().createParameters;
    EXPECT_EQ(Args(pp.Windowed == TRUE, pp.BackBufferWidth, pp.BackBufferHeight, pp.EnableAutoDepthStencil == TRUE,
                   pp.AutoDepthStencilFormat, pp.BackBufferFormat, pp.SwapEffect, pp.hDeviceWindow == kWindow),
              Args(windowed, width, height, depth != 0, depthFormat, D3DFMT_A8R8G8B8, D3DSWAPEFFECT_DISCARD, true));
    // A width or height of 0 clears the whole target.
    g.Clear(0xFF102030, 5, 5, 0, 7);
    g.Clear(0xFF102030, 5, 5, 7, 0);
    g.Clear(0xFF102030, 10, 20, 64, 32);
    const std::string rest = Args(clearFlags, 0xFF102030u, clearZ, 0);
    EXPECT_THAT(p.ArgsOf("IDirect3DDevice9::Clear"),
                ElementsAre("0 <null> " + rest, "0 <null> " + rest, "1 10,20,74,52 " + rest));
  }
}

TEST_F(Graphics, EachFailureOfInitRaisesItsReportAndStopsThere) {
  // The call failing, with its result; the report; states set before Init stopped.
  const std::tuple<const char*, int, long long, unsigned, const char*, const char*, size_t> rows[] = {
      {"Direct3DCreate9", 1, 0, 1, "Error, can't create a D3D Object.", "", 0},
      {"IDirect3D9::CreateDevice", 1, D3DERR_NOTAVAILABLE, 2, "Error by creating a Device", "D3DERR_NOTAVAILABLE", 0},
      {"IDirect3DDevice9::SetSamplerState", 2, E_OUTOFMEMORY, 15, "Error by setting sample state", "E_OUTOFMEMORY", 2},
      {"IDirect3DDevice9::SetRenderState", 3, E_FAIL, 14, "Error by setting render state", "E_FAIL", 6},
  };
  for (const auto& [call, nth, result, number, text, resultName, statesSet] : rows) {
    SCOPED_TRACE(std::string(call) + " #" + std::to_string(nth));
    p.Reset();
    p.ResultForCall(call, nth, result);
    zr_DirectXGraphics g;
    zr_ErrorException e = Raised([&] { Init(g); });
    EXPECT_EQ(e.errorNumber, number);
    EXPECT_THAT(e.message, HasSubstr(text));
    EXPECT_THAT(e.message, HasSubstr(resultName));
    EXPECT_EQ(p.CountOf("IDirect3DDevice9::SetSamplerState") + p.CountOf("IDirect3DDevice9::SetRenderState"),
              statesSet);
  }
  EXPECT_EQ(Log(), "") << "a raised report is left to the top level to log";
}

TEST_F(Graphics, AFrameIsShownAfterItEndsAndALostDeviceIsResetWithTheSameParameters) {
  {
    zr_DirectXGraphics g;
    Init(g);
    const D3DPRESENT_PARAMETERS created = fake::d3d9::Get().createParameters;
    p.Reset();
    p.ResultForCall("IDirect3DDevice9::Present", 1, D3DERR_DEVICELOST);
    g.BeginScene();
    EXPECT_EQ(g.Present(), D3DERR_DEVICELOST);
    g.RestoreObject();
    EXPECT_THAT(Lines(), ElementsAre("IDirect3DDevice9::BeginScene", "IDirect3DDevice9::EndScene",
                                     "IDirect3DDevice9::Present <null> <null> <null> <null>",
                                     "IDirect3DDevice9::Reset ptr"));
    EXPECT_EQ(0, std::memcmp(&fake::d3d9::Get().resetParameters, &created, sizeof created));
    // The cooperative level tells a device that can be reset (1) from one that cannot yet (2).
    for (auto [hr, level] : {std::pair{D3DERR_DEVICELOST, 2}, {D3DERR_DEVICENOTRESET, 1}, {D3D_OK, 0}, {E_FAIL, 0}}) {
      p.ResultForAll("IDirect3DDevice9::TestCooperativeLevel", hr);
      EXPECT_EQ(g.TestCooperativeLevel(), level) << hr;
    }
    p.ResultForAll("IDirect3DDevice9::TestCooperativeLevel", D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(Raised([&] { g.TestCooperativeLevel(); }).message, "Internal error -shuting down");
    EXPECT_EQ(g.GetBackBuffer(), nullptr) << "null when the device has none to give";
    p.Reset();
  }
  EXPECT_THAT(Lines(), ElementsAre("IDirect3DDevice9::Release", "IDirect3D9::Release"));
}

// The fake measures 8 x 16 pixels a character.
TEST_F(Graphics, FontsTakeTheirDescriptionCentreTextInAGivenOrMeasuredRectangleAndDrawNothingWithoutAFont) {
  const std::string face(40, 'f');
  zr_Font font;
  font.Initialise(device, zr_FontDesc{7, FW_BOLD, 24, DEFAULT_CHARSET, FIXED_PITCH | FF_MODERN, true, face.c_str()});
  const D3DXFONT_DESCA& d = fake::d3dx9::Get().lastFontDesc;
  EXPECT_EQ(Args(d.Width, d.Weight, d.Height, d.CharSet, d.PitchAndFamily, d.Italic, d.MipLevels, d.FaceName),
            Args(7, FW_BOLD, 24, DEFAULT_CHARSET, FIXED_PITCH | FF_MODERN, TRUE, 1, face.substr(0, 31)));

  struct Row {
    const char* text;
    RECT given;
    std::vector<std::string> draws;  // text, rectangle and format of each DrawTextA call
  };
  const std::string longText(300, 'x'), cut(255, 'x');
  const std::string centre = " " + Args(DT_CENTER), measure = " " + Args(DT_CALCRECT);
  const Row rows[] = {
      {"Leben", {10, 10, 0, 0}, {"Leben 10,10,0,0" + measure, "Leben 10,10,50,26" + centre}},
      {"Leben", {10, 10, 100, 0}, {"Leben 10,10,100,0" + measure, "Leben 10,10,50,26" + centre}},
      {"x", {0, 0, 0, 40}, {"x 0,0,0,40" + measure, "x 0,0,8,16" + centre}},
      {"100% %s %n", {0, 0, 10, 10}, {"100% %s %n 0,0,10,10" + centre}},
      {longText.c_str(), {0, 0, 10, 10}, {cut + " 0,0,10,10" + centre}},
      {nullptr, {0, 0, 10, 10}, {" 0,0,10,10" + centre}},
  };
  for (const Row& r : rows) {
    p.Reset();
    font.RenderText(r.text, r.given.left, r.given.top, r.given.right, r.given.bottom, 0x80FF0000);
    std::vector<std::string> draws;
    for (const fake::Call& c : p.CallsTo("ID3DXFont::DrawTextA")) {
      EXPECT_EQ(Args(c.Arg(0), c.Arg(2), c.Arg(5)), Args(nullptr, -1, 0x80FF0000u));  // no sprite, whole text
      draws.push_back(c.Arg(1) + " " + c.Arg(3) + " " + c.Arg(4));
    }
    EXPECT_EQ(draws, r.draws);
  }
  // A font made again lets the old one go; one that cannot be made, or never was, draws nothing.
  p.Reset();
  p.ResultForCall("D3DXCreateFontIndirectA", 2, E_OUTOFMEMORY);
  font.Initialise(device, zr_FontDesc{});  // no face name
  font.Initialise(device, zr_FontDesc{});
  font.RenderText("x", 0, 0, 0, 0, 0);
  zr_Font().RenderText("x", 0, 0, 0, 0, 0);
  EXPECT_THAT(Lines(), ElementsAre("ID3DXFont::Release", "D3DXCreateFontIndirectA ptr ", "ID3DXFont::Release",
                                   "D3DXCreateFontIndirectA ptr "));
}

}  // namespace
