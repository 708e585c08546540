#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "fake_d3d9.h"
#include "fake_platform.h"
#include "objects3d/zr_Scene.h"

using ::testing::ElementsAre;

namespace {

class Scene : public ::testing::Test {
 protected:
  void SetUp() override {
    p.Reset();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &pp, &device);
    d3d->Release();
    p.Reset();
  }
  void TearDown() override { device->Release(); }
  fake::Platform& p = fake::Platform::Get();
  IDirect3DDevice9* device = nullptr;
};

TEST_F(Scene, AnUninitialisedSceneLeavesTheDeviceAlone) {
  zr_Scene scene;
  EXPECT_EQ(scene.GetPosition(), D3DXVECTOR3(0, 1, -10));
  scene.Update();
  scene.SetLight(false);
  EXPECT_FALSE(scene.GetLightState());
  EXPECT_TRUE(p.Calls().empty());
}

TEST_F(Scene, InitialiseSetsProjectionLightAndAmbientThenUpdateSetsTheView) {
  zr_Scene scene;
  scene.Initialise(device, 1024, 768);
  EXPECT_THAT(p.Names(), ElementsAre("IDirect3DDevice9::SetTransform", "IDirect3DDevice9::SetLight",
                                     "IDirect3DDevice9::LightEnable", "IDirect3DDevice9::SetRenderState",
                                     "IDirect3DDevice9::SetRenderState"));
  D3DXMATRIX projection;
  D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 1024.0f / 768.0f, 1.0f, 100.0f);
  EXPECT_EQ(D3DXMATRIX(fake::d3d9::Get().transforms[D3DTS_PROJECTION]), projection);
  const D3DLIGHT9& light = fake::d3d9::Get().lights[0];
  EXPECT_EQ(light.Type, D3DLIGHT_POINT);
  EXPECT_EQ(light.Diffuse.r, 1.0f);
  EXPECT_EQ(light.Diffuse.a, 0.0f);
  EXPECT_EQ(light.Range, 100000.0f);
  EXPECT_EQ(light.Attenuation0, 1.0f);
  EXPECT_EQ(light.Attenuation1, 0.0f);
  EXPECT_EQ(p.CallsTo("IDirect3DDevice9::SetRenderState")[1].Arg(1), std::to_string(0x00F0F0F0));

  p.Reset();
  scene.Update();
  ASSERT_EQ(p.CountOf("IDirect3DDevice9::SetTransform"), 1u);
  D3DXVECTOR3 eye(0, 1, -10), at(0, 1, -9), up(0, 1, 0);
  D3DXMATRIX view;
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  EXPECT_EQ(D3DXMATRIX(fake::d3d9::Get().transforms[D3DTS_VIEW]), view);
}

TEST_F(Scene, CameraMovesByTheFrameRateExceptUpAndDown) {
  zr_Scene scene;
  scene.MoveCamera(25, 1, 50, 1, 0);
  EXPECT_EQ(scene.GetPosition(), D3DXVECTOR3(0, 1, -8));
  scene.MoveCamera(0, 2, 50, 1, 0);  // a rate of 0 counts as 25
  EXPECT_EQ(scene.GetPosition(), D3DXVECTOR3(0, 1, -10));
  scene.MoveCamera(1000, 5, 1, 1, 0);
  EXPECT_EQ(scene.GetPosition().y, 2.0f);
  scene.MoveCamera(25, 4, 25, 1, 0);
  EXPECT_NEAR(scene.GetPosition().x, 1.0f, 1e-6);
  EXPECT_NEAR(scene.GetPosition().z, -10.0f, 1e-6);
  scene.MoveCamera(25, 0, 50, 1, 0);
  scene.MoveCamera(25, 10, 50, 1, 0);
  EXPECT_NEAR(scene.GetPosition().x, 1.0f, 1e-6);

  scene.MoveCamera(10, 9, 1, 2, 0);
  EXPECT_FLOAT_EQ(scene.Yaw(), 0.2f);
}

TEST_F(Scene, SidewaysLeftIsAtRightAnglesToTheHeadingAndDownIgnoresTheFrameRate) {
  zr_Scene scene;
  scene.MoveCamera(25, 3, 25, 1, 0);  // yaw 0: the heading is +z, its left -x
  EXPECT_NEAR(scene.GetPosition().x, -1.0f, 1e-6);
  EXPECT_NEAR(scene.GetPosition().z, -10.0f, 1e-6);
  EXPECT_EQ(scene.GetPosition().y, 1.0f);

  zr_Scene turned;
  turned.MoveCamera(10, 9, 1, 5, 0);  // yaw 0.5
  ASSERT_FLOAT_EQ(turned.Yaw(), 0.5f);
  turned.MoveCamera(10, 3, 20, 1, 0);  // 2 units
  const D3DXVECTOR3 moved = turned.GetPosition() - D3DXVECTOR3(0, 1, -10);
  const D3DXVECTOR3 heading(std::sin(0.5f), 0, std::cos(0.5f));
  EXPECT_NEAR(D3DXVec3Length(&moved), 2.0f, 1e-5);
  EXPECT_NEAR(D3DXVec3Dot(&moved, &heading), 0.0f, 1e-5) << "at right angles to the heading";
  D3DXVECTOR3 turn;
  D3DXVec3Cross(&turn, &heading, &moved);  // left-handed: heading x left points down
  EXPECT_NEAR(turn.y, -2.0f, 1e-5);
  turned.MoveCamera(10, 4, 20, 1, 0);
  EXPECT_NEAR(turned.GetPosition().x, 0.0f, 1e-5) << "right undoes left";
  EXPECT_NEAR(turned.GetPosition().z, -10.0f, 1e-5);

  zr_Scene lowered;
  lowered.MoveCamera(1000, 6, 1.5f, 1, 0);
  EXPECT_EQ(lowered.GetPosition(), D3DXVECTOR3(0, -0.5f, -10));
  lowered.MoveCamera(0, 6, 0.25f, 1, 0);
  EXPECT_EQ(lowered.GetPosition(), D3DXVECTOR3(0, -0.75f, -10));
}

TEST_F(Scene, PitchStopsAfterTheStepThatReachesTheLimit) {
  zr_Scene scene;
  for (int i = 0; i < 10; ++i) scene.MoveCamera(10, 7, 1, 2, 0.5f);  // steps of 0.2
  EXPECT_NEAR(scene.Pitch(), -0.6f, 1e-6);
  zr_Scene unbounded;
  for (int i = 0; i < 10; ++i) unbounded.MoveCamera(10, 8, 1, 2, 0);
  EXPECT_NEAR(unbounded.Pitch(), 2.0f, 1e-5);
}

TEST_F(Scene, SetLightSwitchesLightZero) {
  zr_Scene scene;
  scene.Initialise(device, 640, 0);  // a height of 0 counts as 1
  D3DXMATRIX projection;
  D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, 640.0f, 1.0f, 100.0f);
  EXPECT_EQ(D3DXMATRIX(fake::d3d9::Get().transforms[D3DTS_PROJECTION]), projection) << "aspect 640 / 1";
  p.Reset();
  scene.SetLight(false);
  EXPECT_THAT(p.CallsTo("IDirect3DDevice9::LightEnable")[0].args, ElementsAre("0", "0"));
  EXPECT_FALSE(scene.GetLightState());
}

}  // namespace
