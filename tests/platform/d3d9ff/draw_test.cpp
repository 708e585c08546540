// The rules of DrawPrimitive and DrawIndexedPrimitive: what is refused, DEFAULT buffers and
// Reset, draws while lost. (Depth clears held back until a draw uses depth show in every frame of
// the samples and of the engine's test in ../d3dx9gl, which clear depth and draw with it.)
#include "ff_test_support.h"

using namespace fftest;
using d3d9test::kBlack, d3d9test::kWhite;

// A white square from (4, 4) to (20, 20), its indices and one past its vertices: what would make
// GL read outside a buffer is refused; DEFAULT buffers stop a Reset, and while the device is lost
// draws succeed unchecked and draw nothing; MANAGED ones survive Reset.
TEST(Draw, CallsOutsideTheBuffersAreRefusedAndDefaultBuffersHoldOffReset) {
  Scene s(32, 32, false);
  std::vector<ScreenVertex> quad;
  for (auto [x, y] : {std::pair{4, 4}, {20, 4}, {20, 20}, {4, 20}}) quad.push_back({float(x), float(y), 0.5f, 1, kWhite, 0, 0});
  Ref<IDirect3DVertexBuffer9> vb{Vertices(s.get(), quad, kScreenFvf)};
  Ref<IDirect3DIndexBuffer9> ib{Indices(s.get(), std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3, 9})};
  auto bind = [&](UINT stride) {
    s->SetFVF(kScreenFvf), s->SetStreamSource(0, vb.get(), 0, stride), s->SetIndices(ib.get());
    s->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  };
  auto indexed = [&](INT base, UINT minIndex, UINT vertices, UINT start, UINT count) {
    return s->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, base, minIndex, vertices, start, count);
  };
  bind(sizeof(ScreenVertex));
  s.Clear(kBlack);
  EXPECT_EQ(indexed(0, 0, 4, 0, 2), D3D_OK);
  for (auto [base, minIndex, vertices, start, count] : {std::tuple{0, 0u, 4u, 0u, 3u}, {0, 0, 4, 4, 1}, {0, 0, 5, 0, 2},
                                                        {1, 0, 3, 0, 2}, {-1, 1, 3, 0, 2}})
    EXPECT_EQ(indexed(base, minIndex, vertices, start, count), D3DERR_INVALIDCALL) << base << " " << start << " " << count;
  EXPECT_EQ(s->DrawPrimitive(D3DPT_TRIANGLEFAN, 1, 2), D3DERR_INVALIDCALL) << "vertices 1 to 4 of 4";
  bind(24);
  EXPECT_EQ(indexed(0, 0, 4, 0, 2), D3DERR_INVALIDCALL) << "a stride shorter than the format";
  s.Clear(kBlack);
  Ref<IUnknown> pinned{Indices(s.get(), std::vector<std::uint16_t>{0, 1, 2}, D3DPOOL_DEFAULT)};
  EXPECT_EQ(s->Reset(&s.pp), D3DERR_INVALIDCALL) << "a DEFAULT index buffer lives, as the engine's boxes have";
  EXPECT_EQ(indexed(0, 0, 99, 0, 99), D3D_OK) << "lost: not even checked";
  EXPECT_EQ(s.Back().at(10, 10), kBlack);
  pinned.reset();
  ASSERT_EQ(s->Reset(&s.pp), D3D_OK);
  bind(sizeof(ScreenVertex));  // Reset unbinds everything
  ASSERT_EQ(indexed(0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(s.Back().at(10, 10), kWhite) << "the MANAGED buffers' contents are still there";
}
