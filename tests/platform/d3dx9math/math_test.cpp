// D3DX math in the row-vector, left-handed convention: where matrices send points. (The order of a
// product, the turns and the camera are also where the engine's unit tests place its objects.)
#include <d3dx9.h>
#include <gtest/gtest.h>

namespace {

D3DXVECTOR3 Apply(const D3DXMATRIX& m, D3DXVECTOR3 v) {
  D3DXVECTOR3 out;
  return *D3DXVec3TransformCoord(&out, &v, &m);
}

TEST(D3DXMath, MatricesSendPointsWhereTheConventionSays) {
  const float quarter = static_cast<float>(D3DX_PI / 2);
  D3DXMATRIX t, s, r, view, projection, product, inverse;
  D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0), cross, unit;
  D3DXMatrixTranslation(&t, 10, 0, 0);
  D3DXMatrixScaling(&s, 2, 3, 4);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  D3DXMatrixPerspectiveFovLH(&projection, quarter, 2.0f, 1.0f, 100.0f);
  const struct {
    const char* what;
    D3DXMATRIX m;
    D3DXVECTOR3 in, out;
  } cases[] = {
      {"a transpose moves the translation into w", *D3DXMatrixTranspose(&product, &t), {1, 1, 1}, {1 / 11.0f, 1 / 11.0f, 1 / 11.0f}},
      {"y turns z towards x", *D3DXMatrixRotationY(&r, quarter), {0, 0, 1}, {1, 0, 0}},
      {"the near plane at depth 0", view * projection, {0, 0, -4}, {0, 0, 0}},
      {"the far plane at depth 1", view * projection, {0, 0, 95}, {0, 0, 1}},
      {"a 90 degree view, aspect 2: the edges at 1", projection, {20, 10, 10}, {1, 1, 100.0f / 99 * 0.9f}},
      {"the inverse undoes", *D3DXMatrixInverse(&inverse, nullptr, D3DXMatrixMultiply(&product, &r, &t)) * product,
       {3, -2, 9}, {3, -2, 9}},
  };
  for (const auto& c : cases) {
    D3DXVECTOR3 got = Apply(c.m, c.in);
    EXPECT_TRUE(std::abs(got.x - c.out.x) < 1e-4f && std::abs(got.y - c.out.y) < 1e-4f && std::abs(got.z - c.out.z) < 1e-4f)
        << c.what << ": " << got.x << " " << got.y << " " << got.z;
  }
  D3DXMATRIX flat;
  FLOAT det = 0;
  EXPECT_EQ(D3DXMatrixInverse(&inverse, &det, D3DXMatrixScaling(&flat, 1, 0, 1)), nullptr) << "singular: none";
  EXPECT_TRUE(D3DXMatrixInverse(&inverse, &det, &s) != nullptr && std::abs(det - 24) < 1e-4f) << det;
  D3DXVECTOR3 v(3, 0, 4), x(1, 0, 0), y(0, 1, 0), zero(0, 0, 0);
  EXPECT_FLOAT_EQ(D3DXVec3Length(&v) * D3DXVec3Dot(&v, &x), 15);
  EXPECT_EQ(*D3DXVec3Normalize(&unit, &v), D3DXVECTOR3(0.6f, 0, 0.8f));
  EXPECT_EQ(*D3DXVec3Normalize(&unit, &zero), zero);
  EXPECT_EQ(*D3DXVec3Cross(&cross, &x, &y), D3DXVECTOR3(0, 0, 1));
  EXPECT_EQ(*D3DXVec3TransformNormal(&unit, &x, &t), x) << "directions do not move";
}

}  // namespace
