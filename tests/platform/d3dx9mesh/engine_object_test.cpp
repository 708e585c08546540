// The engine's zr_3DObject on the real layer, end to end: its load (D3DX all the way to a progressive
// mesh and a default-pool clone), drawing at full and reduced detail, a device Reset between
// InvalidateDeviceObjects and RestoreObject, and SetFVF. No D3DX call may fail: the error log the
// engine writes its failures to stays empty.
#include <filesystem>

#include "mesh_test_support.h"
#include "errorfile/zr_ErrorException.h"
#include "objects3d/zr_3DObject.h"

namespace d3d9test {
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(OnBothTargets);
}

namespace meshtest {
namespace {

TEST(EngineObject, LoadsReducesAndComesBackAfterAReset) {
  std::filesystem::remove(kErrorLogFile);
  Scene s(96, 96);
  WriteFile("ball.x", XMeshFile(zr::test::xfile::Sphere(16, 24), Format::kBinary));
  zr_3DObject ball;
  ball.Initialise(s.get(), nullptr, true);
  ASSERT_EQ(ball.LoadFromFile("ball.x", 0), 0);
  EXPECT_EQ(ball.MaterialCount(), 2u);
  EXPECT_EQ(ball.GetMaxFaces(), 2 * 24 * 15);
  auto draw = [&](int faces) {
    s.Clear(d3d9test::kBlack);
    Look(s);
    LightUp(s);
    ball.Render(faces, true, true);
    return s.Back();
  };
  const Picture full = draw(100000);
  EXPECT_EQ(ball.GetActuallyNumberOfFaces(), ball.GetMaxFaces());
  const Picture coarse = draw(0);
  EXPECT_GE(ball.GetActuallyNumberOfFaces(), 300);
  EXPECT_LE(ball.GetActuallyNumberOfFaces(), 310);
  const double area = double(CountNot(full, d3d9test::kBlack));
  EXPECT_GT(area, 96.0 * 96 / 5);
  EXPECT_NEAR(double(CountNot(coarse, d3d9test::kBlack)), area, 0.06 * area);
  EXPECT_NE(coarse.pixels, full.pixels);

  ball.InvalidateDeviceObjects();
  D3DPRESENT_PARAMETERS pp = s.pp;
  ASSERT_EQ(s->Reset(&pp), D3D_OK);
  ASSERT_EQ(ball.RestoreObject(), 0);
  EXPECT_EQ(draw(100000).pixels, full.pixels);

  ASSERT_EQ(ball.SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL), 0);
  // Normals computed anew from the faces: lit as before (zero normals would leave it black).
  EXPECT_NEAR(double(CountNot(draw(100000), d3d9test::kBlack)), area, 0.02 * area);
  EXPECT_FALSE(std::filesystem::exists(kErrorLogFile));
}

}  // namespace
}  // namespace meshtest
