// The texture registry and the 2D sprites of the engine against the recording fake.
#include <cmath>
#include <memory>

#include "engine_test.h"
#include "graphics/zr_Sprite.h"

namespace {

class Sprites : public EngineTest {
 protected:
  Sprites() {
    fake::d3dx9::AddImage("a.png", 64, 32);
    fake::d3dx9::AddImage("b.png", 8, 8);
    fake::d3dx9::AddImage("tall.png", 21, 60);
    manager.Initialise(device);
  }
  int Add(zr_TextureManager& m, const char* f) { return m.AddTexture(f, D3DPOOL_MANAGED, D3DX_FILTER_NONE, 1, 0); }
  std::string LastDraw(size_t arg) const { return p.CallsTo("ID3DXSprite::Draw").back().Arg(arg); }
};

TEST_F(Sprites, AFileIsLoadedOnceAtItsOwnSizeAndAMissingOneIsReportedAndTriedAgain) {
  EXPECT_EQ(Add(manager, "a.png"), 1);
  IDirect3DTexture9* first = manager.GetTexture("a.png");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(manager.AddTexture("a.png", D3DPOOL_DEFAULT, D3DX_FILTER_BOX, 5, 0), 1);
  EXPECT_EQ(manager.GetTexture("a.png"), first);
  // Device, file, size, mip levels, usage, format, pool, filters, colour key, no infos.
  EXPECT_THAT(p.ArgsOf("D3DXCreateTextureFromFileExA"),
              ElementsAre(Args("ptr", "a.png", 64, 32, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_NONE,
                               D3DX_FILTER_NONE, 0, nullptr, nullptr)));
  for (const char* other : {"A.png", "./a.png", static_cast<const char*>(nullptr)})
    EXPECT_EQ(manager.GetTexture(other), nullptr) << "names are compared byte for byte";
  EXPECT_EQ(Add(manager, "missing.png") + Add(manager, "missing.png"), 0);
  EXPECT_EQ(Args(manager.GetTexture("missing.png"), p.CountOf("D3DXCreateTextureFromFileExA")), Args(nullptr, 3));
  EXPECT_THAT(Log(), ::testing::EndsWith("*** Error_19 ** Error, can't create a texture missing.png\r\n"));
  EXPECT_EQ(Add(manager, std::string(600, 'n').c_str()), 0);
  EXPECT_THAT(Log(), HasSubstr("Error, can't create a texture nnnn")) << "a long name is cut, not overflowed";
  EXPECT_EQ(p.CountOf("MessageBoxA"), 0u);
}

TEST_F(Sprites, ADeletedTextureIsReleasedOnceForAllItsUsersAndLateDeletesChangeNothing) {
  Add(manager, "a.png");
  p.Reset();
  for (const char* name : {"a.png", "a.png", "never.png"}) manager.DeleteTexture(name);
  EXPECT_THAT(p.ArgsOf("IDirect3DTexture9::Release"), ElementsAre("a.png"));
  EXPECT_EQ(manager.GetTexture("a.png"), nullptr);
  fake::d3dx9::AddImage("a.png", 64, 32);
  fake::d3dx9::AddImage("b.png", 8, 8);
  EXPECT_EQ(Add(manager, "a.png"), 1);
  EXPECT_NE(manager.GetTexture("a.png"), nullptr);

  // The game's sprites are destroyed after its manager and still delete their textures by name:
  // that reaches a manager that is gone (its memory freed here, so that a read of it is caught).
  auto* m = new zr_TextureManager;
  m->Initialise(device);
  auto late = std::make_unique<zr_Sprite>();
  late->CreateSprite(device, m, "a.png", 0, D3DPOOL_MANAGED, 0);
  for (const char* name : {"b.png", "missing.png"}) Add(*m, name);
  zr_TextureManager other;  // alive beside it, and not touched by the late call
  other.Initialise(device);
  Add(other, "a.png");
  p.Reset();
  delete m;
  late.reset();
  EXPECT_THAT(Lines(), ElementsAre("IDirect3DTexture9::Release a.png", "IDirect3DTexture9::Release b.png",
                                   "ID3DXSprite::Release #1"));
  EXPECT_NE(other.GetTexture("a.png"), nullptr);
}

// Render puts the picture's top-left corner at (x, y), turns it about its centre (halved in whole
// pixels), then scales everything about the screen's corner.
TEST_F(Sprites, RenderPutsEachTexelWhereTheSpriteSaysItGoes) {
  struct Row {
    const char* file;
    int x, y;
    float turn, grow, u, v, sx, sy;  // radians, added to the scale factors, a texel, where it lands
  };
  const float quarter = static_cast<float>(M_PI / 2), half = static_cast<float>(M_PI);
  const Row rows[] = {
      {"a.png", 10, 20, 0, 0, 0, 0, 10, 20},        {"a.png", 10, 20, 0, 0, 64, 32, 74, 52},
      {"a.png", 10, 20, quarter, 0, 32, 16, 42, 36}, {"a.png", 10, 20, quarter, 0, 0, 0, 58, 4},
      {"a.png", 10, 20, quarter, 0, 64, 0, 58, 68},  {"a.png", 10, 20, 0, 0.5f, 0, 0, 15, 30},
      {"a.png", 10, 20, 0, 0.5f, 32, 16, 63, 54},    {"tall.png", 0, 0, half, 0, 0, 0, 20, 60},
      {"tall.png", 0, 0, half, 0, 10, 30, 10, 30},   {"tall.png", 5, 5, quarter, 0, 0, 0, 45, 25},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Args(r.file, r.turn, r.grow, r.u, r.v));
    zr_Sprite s;
    s.CreateSprite(device, &manager, r.file, 0, D3DPOOL_MANAGED, 0);
    s.SetRotation(r.turn);
    s.Scale(r.grow, r.grow);
    s.Render(r.x, r.y);
    const D3DXVECTOR3 at = fake::d3dx9::PlacedTexel(r.u, r.v);
    EXPECT_NEAR(at.x, r.sx, 1e-4);
    EXPECT_NEAR(at.y, r.sy, 1e-4);
  }
}

TEST_F(Sprites, RenderDrawsTheWholePictureTintedByItsAlphaBetweenBeginAndEnd) {
  zr_Sprite s;
  s.CreateSprite(device, &manager, "a.png", D3DXSPRITE_ALPHABLEND, D3DPOOL_DEFAULT, 0);
  EXPECT_THAT(p.ArgsOf("D3DXCreateTextureFromFileExA"),  // one level, drawn pixel for pixel
              ElementsAre(HasSubstr(Args("a.png", 64, 32, 1, 0, 0, D3DPOOL_DEFAULT, D3DX_FILTER_NONE))));
  p.Reset();
  s.Render(10, 20);
  EXPECT_THAT(Lines(), ElementsAre("ID3DXSprite::Begin #1 " + Args(D3DXSPRITE_ALPHABLEND),
                                   "ID3DXSprite::SetTransform #1 ptr",
                                   "ID3DXSprite::Draw #1 a.png <null> 32,16,0 <null> " + Args(0xFFFFFFFFu),
                                   "ID3DXSprite::End #1"));
  // 0 is transparent, 255 opaque; only the low eight bits count.
  for (auto [alpha, colour] :
       {std::pair{128, 0x80FFFFFFu}, {0, 0x00FFFFFFu}, {256, 0x00FFFFFFu}, {0x1234, 0x34FFFFFFu}}) {
    s.SetAlpha(alpha);
    s.Render(0, 0);
    EXPECT_EQ(LastDraw(5), Args(colour)) << alpha;
  }
}

TEST_F(Sprites, AnAnimationStripShowsOneWholeFrameAtATime) {
  zr_Sprite s;
  s.CreateSprite(device, &manager, "a.png", 0, D3DPOOL_MANAGED, 0);
  EXPECT_EQ(s.SetAnimationStep(1), 10) << "no strip yet";
  s.SetAnimatedRect(3, 40, 25);  // frames wider than high
  std::vector<std::string> frames;
  for (int i = 0; i < 5; ++i, s.IncreaseAnimationStep()) frames.push_back(fake::Rect(&s.AnimationRect()));
  EXPECT_THAT(frames, ElementsAre("0,0,40,25", "40,0,80,25", "80,0,120,25", "0,0,40,25", "40,0,80,25"));
  const std::tuple<int, int, const char*> steps[] = {
      {3, 0, "80,0,120,25"}, {4, 10, "80,0,120,25"}, {2, 0, "40,0,80,25"}, {-3, 0, "0,0,40,25"}};
  for (auto [frame, result, rect] : steps) {
    EXPECT_EQ(s.SetAnimationStep(frame), result) << frame;
    EXPECT_EQ(fake::Rect(&s.AnimationRect()), rect) << frame;
  }
  s.SetAnimationStep(3);
  s.Render(0, 0);
  EXPECT_EQ(LastDraw(2), "<null>") << "not animated: the whole picture";
  s.SetAnimated(true);
  s.Render(0, 0);
  EXPECT_EQ(LastDraw(2), "80,0,120,25");
  s.SetRect(RECT{1, 2, 3, 4});
  s.RenderRect(0, 0);
  EXPECT_EQ(LastDraw(2), "1,2,3,4");
}

}  // namespace
