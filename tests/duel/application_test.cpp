// The program's entry and main loop against the recording fake.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "Application.h"
#include "GameObjects.h"
#include "fake_com.h"
#include "fake_d3d9.h"
#include "fake_platform.h"
#include "fake_win32.h"
#include "game_fixture.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x400000);

class Application : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    AddGameFiles();
    // Guard against a loop that never ends: no test needs more than a few hundred presents.
    p.OnCall("IDirect3DDevice9::Present", [this](const fake::Call&) {
      if (++presents > 500) throw std::runtime_error("the main loop does not end");
    });
  }
  // The global objects die with the process; between tests they are rebuilt in place.
  void TearDown() override { RebuildGlobals(); }
  int Run() { return WinMain(kInstance, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT); }
  // Ends the loop at the nth present.
  void QuitAtPresent(int nth) {
    p.OnCall("IDirect3DDevice9::Present", [this, nth](const fake::Call&) {
      if (presents == nth) fake::win32::Post(nullptr, WM_USER);  // a thread message, then quit
      if (presents == nth) PostQuitMessage(0);
    });
  }
  // The names of the recorded calls among `wanted`, in order.
  std::vector<std::string> Only(std::initializer_list<std::string> wanted) const {
    std::vector<std::string> out;
    for (const std::string& n : p.Names())
      for (const std::string& w : wanted)
        if (n == w) out.push_back(n);
    return out;
  }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
  int presents = 0;
  int sleeps = 0;
};

TEST_F(Application, StartsTheCounterTheWindowAndTheDeviceInOrder) {
  QuitAtPresent(1);
  EXPECT_EQ(Run(), 0);
  auto names = p.Names();
  std::vector<std::string> start(names.begin(), names.begin() + 10);
  EXPECT_THAT(start, ElementsAre("QueryPerformanceFrequency", "GetStockObject", "LoadCursorA", "LoadIconA", "LoadIconA",
                                 "RegisterClassExA", "CreateWindowExA", "ShowWindow", "DefWindowProcA",
                                 "Direct3DCreate9"));
  EXPECT_THAT(p.CallsTo("GetStockObject")[0].args, ElementsAre("4"));
  EXPECT_THAT(p.CallsTo("LoadCursorA")[0].args, ElementsAre("<null>", "#32512"));
  EXPECT_THAT(p.CallsTo("LoadIconA")[1].args, ElementsAre("ptr", "#103"));
  fake::Call cls = p.CallsTo("RegisterClassExA")[0];
  EXPECT_EQ(cls.Arg(0), "WindowClass");
  EXPECT_EQ(cls.Arg(1), "43");
  EXPECT_EQ(cls.Arg(7), "101");
  EXPECT_THAT(p.CallsTo("CreateWindowExA")[0].args,
              ElementsAre("0", "WindowClass", "Velkor Editor", std::to_string(0x11CF0000), "10", "10", "800", "600",
                          "<null>", "<null>", "ptr", "<null>"));
  EXPECT_THAT(p.CallsTo("ShowWindow")[0].args, ElementsAre("ptr", "3"));
  const D3DPRESENT_PARAMETERS& pp = fake::d3d9::Get().createParameters;
  EXPECT_EQ(pp.Windowed, FALSE);
  EXPECT_EQ(pp.BackBufferWidth, 1024u);
  EXPECT_EQ(pp.AutoDepthStencilFormat, D3DFMT_D16);
  p.Reset();
  TearDown();
  EXPECT_EQ(fake::LiveComObjects(), 0);
  EXPECT_THAT(Only({"IDirect3DDevice9::Release", "IDirect3D9::Release"}),
              ElementsAre("IDirect3DDevice9::Release", "IDirect3D9::Release"));
}

TEST_F(Application, WithoutAPerformanceCounterReportsError13) {
  p.ResultForCall("QueryPerformanceFrequency", 1, FALSE);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(p.CountOf("CreateWindowExA"), 0u);
  EXPECT_THAT(dir.Read("error.log"), HasSubstr("*** Error_13 ** Frequence counter doesn't exist\r\n"));
  EXPECT_THAT(p.CallsTo("MessageBoxA")[0].args,
              ElementsAre("<null>", "Error: 13\n\nMessage:\n\nFrequence counter doesn't exist\n\n", "Error", "0"));
}

TEST_F(Application, WithoutAWindowShowsTheMessageAndStartsNothing) {
  p.ResultForCall("CreateWindowExA", 1, 0);
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(p.CallsTo("MessageBoxA")[0].args, ElementsAre("<null>", "Windows can't be created.", "Error", "0"));
  EXPECT_EQ(p.CountOf("Direct3DCreate9"), 0u);
  EXPECT_FALSE(dir.Exists("error.log"));
}

TEST_F(Application, OutOfMemoryAnywhereIsReportedAsError12) {
  p.OnCall("IDirect3DDevice9::Clear", [](const fake::Call&) { throw std::bad_alloc(); });
  EXPECT_EQ(Run(), 0);
  EXPECT_THAT(dir.Read("error.log"), HasSubstr("*** Error_12 ** Storage error, there isn't anough storage\r\n"));
  EXPECT_EQ(p.CallsTo("MessageBoxA")[0].Arg(1), "Error: 12\n\nMessage:\n\nStorage error, there isn't anough storage\n\n");
}

TEST_F(Application, ARaisedReportIsLoggedShownAndEndsWithZero) {
  p.ResultForCall("IDirect3D9::CreateDevice", 1, D3DERR_INVALIDCALL);
  EXPECT_EQ(Run(), 0);
  const std::string text =
      "Error: 2\n\nMessage:\n\nError by creating a Device\n\nDirectX Information: Errorname: D3DERR_INVALIDCALL\n"
      "Descripton:\nInvalid call";
  EXPECT_EQ(p.CallsTo("MessageBoxA")[0].Arg(1), text);
  EXPECT_EQ(dir.Read("error.log"), "Error: 2\r\n\r\nMessage:\r\n\r\nError by creating a Device\r\n\r\n"
                                   "DirectX Information: Errorname: D3DERR_INVALIDCALL\r\nDescripton:\r\nInvalid call");
  EXPECT_EQ(p.CountOf("IDirect3DDevice9::Present"), 0u);
}

TEST_F(Application, OneFramePerPassWithoutMessagesAndNoneWithOne) {
  fake::win32::Post(nullptr, WM_USER);
  fake::win32::Post(nullptr, WM_USER + 1);
  QuitAtPresent(3);
  Run();
  EXPECT_THAT(Only({"PeekMessageA", "IDirect3DDevice9::Present"}),
              ElementsAre("PeekMessageA", "PeekMessageA", "PeekMessageA", "IDirect3DDevice9::Present", "PeekMessageA",
                          "IDirect3DDevice9::Present", "PeekMessageA", "IDirect3DDevice9::Present", "PeekMessageA",
                          "PeekMessageA"));
  // The two queued messages, the thread message posted at the end and WM_QUIT were all dispatched.
  EXPECT_EQ(p.CountOf("DispatchMessageA"), 4u);
  EXPECT_EQ(p.CallsTo("DispatchMessageA").back().Arg(0), std::to_string(WM_QUIT));
}

// Runs frames at a steady rate and returns framesPerSecond as each frame saw it.
std::vector<int> MeasuredRates(fake::Platform& p, LONGLONG frequency, LONGLONG step, int frames, int& presents) {
  fake::win32::Get().frequency = frequency;
  fake::win32::Get().counterStep = step;
  std::vector<int> seen;
  p.OnCall("IDirect3DDevice9::Present", [&](const fake::Call&) {
    seen.push_back(framesPerSecond);
    if (presents == frames) PostQuitMessage(0);
  });
  WinMain(kInstance, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
  return seen;
}

TEST_F(Application, FrameRateIsSixtyOrFiftySevenAtSixtyFramesPerSecond) {
  // 60 frames per second exactly: the 21st frame closes the first third of a second.
  std::vector<int> exact = MeasuredRates(p, 3'000'000, 50'000, 45, presents);
  ASSERT_EQ(exact.size(), 45u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(exact[i], 0) << i;
  EXPECT_EQ(exact[20], 60);
  EXPECT_EQ(exact[44], 60);

  // A hair slower: the 20th frame already passes it, after 19 counted frames.
  TearDown();
  p.Reset();
  AddGameFiles();
  presents = 0;
  p.OnCall("IDirect3DDevice9::Present", [this](const fake::Call&) { ++presents; });
  std::vector<int> slower = MeasuredRates(p, 3'000'000, 50'001, 30, presents);
  ASSERT_EQ(slower.size(), 30u);
  EXPECT_EQ(slower[18], 0);
  EXPECT_EQ(slower[19], 57);
}

TEST_F(Application, LostDeviceIsWaitedForReleasedResetAndRestoredBeforeTheFrame) {
  p.ResultForCall("IDirect3DDevice9::Present", 1, D3DERR_DEVICELOST);
  p.ResultForCall("IDirect3DDevice9::TestCooperativeLevel", 1, D3DERR_DEVICELOST);
  p.ResultForCall("IDirect3DDevice9::TestCooperativeLevel", 2, D3DERR_DEVICELOST);
  p.ResultForCall("IDirect3DDevice9::TestCooperativeLevel", 3, D3DERR_DEVICENOTRESET);
  // During the wait the window's own messages are handled; a thread message is left for later.
  p.OnCall("IDirect3DDevice9::TestCooperativeLevel", [this](const fake::Call&) {
    if (p.CountOf("IDirect3DDevice9::TestCooperativeLevel") != 1) return;
    fake::win32::Post(nullptr, WM_USER);
    fake::win32::Post(fake::win32::Get().windows.begin()->first, WM_USER + 1);
  });
  p.OnCall("IDirect3DDevice9::Present", [this](const fake::Call&) {
    if (presents == 2) PostQuitMessage(0);
  });
  Run();
  auto order = Only({"IDirect3DDevice9::TestCooperativeLevel", "Sleep", "ID3DXSprite::OnLostDevice",
                     "ID3DXFont::OnLostDevice", "IDirect3DDevice9::Reset", "ID3DXFont::OnResetDevice",
                     "ID3DXSprite::OnResetDevice", "QueryPerformanceCounter", "IDirect3DDevice9::Present"});
  // The first counter reading is the start of the frame timer. Every sprite and the font let go
  // of their device resources before the Reset and take them again after it, before the frame.
  EXPECT_THAT(order, ElementsAre("QueryPerformanceCounter", "QueryPerformanceCounter", "IDirect3DDevice9::Present",
                                 "IDirect3DDevice9::TestCooperativeLevel", "Sleep",
                                 "IDirect3DDevice9::TestCooperativeLevel", "Sleep",
                                 "IDirect3DDevice9::TestCooperativeLevel", "ID3DXSprite::OnLostDevice",
                                 "ID3DXSprite::OnLostDevice", "ID3DXSprite::OnLostDevice", "ID3DXSprite::OnLostDevice",
                                 "ID3DXSprite::OnLostDevice", "ID3DXSprite::OnLostDevice", "ID3DXFont::OnLostDevice",
                                 "IDirect3DDevice9::Reset", "ID3DXFont::OnResetDevice", "ID3DXSprite::OnResetDevice",
                                 "ID3DXSprite::OnResetDevice", "ID3DXSprite::OnResetDevice",
                                 "ID3DXSprite::OnResetDevice", "ID3DXSprite::OnResetDevice",
                                 "ID3DXSprite::OnResetDevice", "QueryPerformanceCounter", "IDirect3DDevice9::Present"));
  for (const fake::Call& c : p.CallsTo("Sleep")) EXPECT_EQ(c.Arg(0), "100");
  std::vector<std::string> dispatched;
  for (const fake::Call& c : p.CallsTo("DispatchMessageA")) dispatched.push_back(c.Arg(0));
  EXPECT_THAT(dispatched, ElementsAre(std::to_string(WM_USER + 1), std::to_string(WM_USER), std::to_string(WM_QUIT)));
  // The wait peeks at the main window only.
  auto peeks = p.CallsTo("PeekMessageA");
  ASSERT_GE(peeks.size(), 5u);
  EXPECT_EQ(peeks[1].Arg(0), "<null>");
  EXPECT_EQ(peeks[2].Arg(0), "ptr");
}

TEST_F(Application, ClosingTheWindowDuringTheWaitEndsTheProgram) {
  p.ResultForCall("IDirect3DDevice9::Present", 1, D3DERR_DEVICELOST);
  p.ResultForAll("IDirect3DDevice9::TestCooperativeLevel", D3DERR_DEVICELOST);
  p.OnCall("Sleep", [this](const fake::Call&) {
    if (++sleeps == 3) fake::win32::Post(fake::win32::Get().windows.begin()->first, WM_CLOSE);
    if (sleeps > 100) throw std::runtime_error("still waiting for a device whose window is gone");
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(p.CountOf("DestroyWindow"), 1u);
  EXPECT_EQ(p.CountOf("IDirect3DDevice9::Present"), 1u);
  EXPECT_EQ(p.CountOf("IDirect3DDevice9::Reset"), 0u);
}

TEST_F(Application, WindowProcedureQuitsOnDestroyAndLeavesTheRestToTheDefault) {
  HWND w = reinterpret_cast<HWND>(0x99);
  EXPECT_EQ(MainWindowProc(w, WM_DESTROY, 0, 0), 0);
  EXPECT_TRUE(fake::win32::Get().quitPosted);
  MainWindowProc(w, WM_COMMAND, 40010, 0);  // a menu item: nothing but the default processing
  EXPECT_THAT(p.Names(), ElementsAre("PostQuitMessage", "DefWindowProcA"));
  EXPECT_EQ(p.CallsTo("DefWindowProcA")[0].Arg(1), std::to_string(WM_COMMAND));
}

}  // namespace
