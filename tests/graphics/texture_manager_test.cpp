#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "fake_com.h"
#include "fake_d3dx9.h"
#include "fake_platform.h"
#include "graphics/zr_TextureManager.h"
#include "scratch_directory.h"

using ::testing::ElementsAre;

namespace {

IDirect3DDevice9* kDevice = reinterpret_cast<IDirect3DDevice9*>(0x5150);

class TextureManager : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    fake::d3dx9::AddImage("a.png", 64, 32);
    fake::d3dx9::AddImage("b.png", 8, 8);
    fake::d3dx9::AddImage("A.png", 8, 8);
  }
  size_t Loads() const { return p.CountOf("D3DXCreateTextureFromFileExA"); }
  std::string Log() const { return dir.Read("error.log"); }

  fake::Platform& p = fake::Platform::Get();
  ScratchDirectory dir;
};

TEST_F(TextureManager, LoadsEachNameOnceAtItsOwnSizeWithTheCallersSettings) {
  zr_TextureManager m;
  m.Initialise(kDevice);
  EXPECT_EQ(m.AddTexture("a.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0), 1);
  IDirect3DTexture9* first = m.GetTexture("a.png");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(m.AddTexture("a.png", D3DPOOL_DEFAULT, D3DX_FILTER_BOX, 5, 0), 1);
  EXPECT_EQ(m.GetTexture("a.png"), first);
  EXPECT_EQ(Loads(), 1u);
  EXPECT_THAT(p.CallsTo("D3DXCreateTextureFromFileExA")[0].args,
              ElementsAre("ptr", "a.png", "64", "32", "1", "0", "0", "1", "1", "1", "0", "<null>", "<null>"));
  // Names are compared byte for byte.
  EXPECT_EQ(m.GetTexture("A.png"), nullptr);
  EXPECT_EQ(m.GetTexture("./a.png"), nullptr);
  EXPECT_EQ(m.GetTexture(nullptr), nullptr);
}

TEST_F(TextureManager, AMissingFileIsLoggedAsError19AndTriedAgainLater) {
  zr_TextureManager m;
  m.Initialise(kDevice);
  EXPECT_EQ(m.AddTexture("missing.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0), 0);
  EXPECT_EQ(m.GetTexture("missing.png"), nullptr);
  EXPECT_THAT(Log(), ::testing::EndsWith("*** Error_19 ** Error, can't create a texture missing.png\r\n"));
  EXPECT_EQ(m.AddTexture("missing.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0), 0);
  EXPECT_EQ(Loads(), 2u);
  EXPECT_EQ(p.CountOf("MessageBoxA"), 0u);

  // A name longer than the report's buffer is cut, not overflowed.
  const std::string longName(600, 'n');
  EXPECT_EQ(m.AddTexture(longName.c_str(), D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0), 0);
  EXPECT_NE(Log().find("Error, can't create a texture nnnn"), std::string::npos);
}

TEST_F(TextureManager, DeleteReleasesForAllUsersAndAddLoadsAgain) {
  zr_TextureManager m;
  m.DeleteTexture("a.png");  // before Initialise: nothing
  m.AddTexture("a.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0);
  m.DeleteTexture("a.png");
  EXPECT_NE(m.GetTexture("a.png"), nullptr) << "not initialised yet, so nothing was deleted";

  m.Initialise(kDevice);
  p.Reset();
  fake::d3dx9::AddImage("a.png", 64, 32);
  m.DeleteTexture("a.png");
  m.DeleteTexture("a.png");
  m.DeleteTexture("never.png");
  EXPECT_EQ(m.GetTexture("a.png"), nullptr);
  EXPECT_EQ(p.CountOf("IDirect3DTexture9::Release"), 1u);
  EXPECT_EQ(m.AddTexture("a.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0), 1);
  EXPECT_NE(m.GetTexture("a.png"), nullptr);
}

TEST_F(TextureManager, DestructionReleasesEachTextureOnceAndLateDeletesChangeNothing) {
  int before = fake::LiveComObjects();
  alignas(zr_TextureManager) unsigned char storage[sizeof(zr_TextureManager)];
  auto* m = new (storage) zr_TextureManager;
  m->Initialise(kDevice);
  m->AddTexture("b.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0);
  m->AddTexture("missing.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0);
  m->AddTexture("a.png", D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0);
  EXPECT_EQ(fake::LiveComObjects(), before + 2);
  p.Reset();
  m->~zr_TextureManager();
  EXPECT_THAT(p.Names(), ElementsAre("IDirect3DTexture9::Release", "IDirect3DTexture9::Release"));
  EXPECT_EQ(p.Calls()[0].Arg(0), "a.png");
  EXPECT_EQ(p.Calls()[1].Arg(0), "b.png");
  EXPECT_EQ(fake::LiveComObjects(), before);
  // What the game's sprites do at the end of the process: the manager is already gone.
  m->DeleteTexture("a.png");
  EXPECT_EQ(p.Calls().size(), 2u);
}

}  // namespace
