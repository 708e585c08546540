// D3DX math in the row-vector, left-handed convention.
#include <d3dx9.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

D3DXVECTOR3 Apply(const D3DXMATRIX& m, D3DXVECTOR3 v) {
  D3DXVECTOR3 out;
  D3DXVec3TransformCoord(&out, &v, &m);
  return out;
}

void ExpectNear(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
  EXPECT_NEAR(a.x, b.x, 1e-5);
  EXPECT_NEAR(a.y, b.y, 1e-5);
  EXPECT_NEAR(a.z, b.z, 1e-5);
}

TEST(D3DXMath, ProductsApplyTheLeftMatrixFirst) {
  D3DXMATRIX t, s, ts, st;
  D3DXMatrixTranslation(&t, 10, 0, 0);
  D3DXMatrixScaling(&s, 2, 3, 4);
  D3DXMatrixMultiply(&ts, &t, &s);
  D3DXMatrixMultiply(&st, &s, &t);
  ExpectNear(Apply(ts, D3DXVECTOR3(1, 1, 1)), D3DXVECTOR3(22, 3, 4));
  ExpectNear(Apply(st, D3DXVECTOR3(1, 1, 1)), D3DXVECTOR3(12, 3, 4));
  EXPECT_EQ(ts, t * s);
  // The output may be one of the inputs.
  D3DXMatrixMultiply(&t, &t, &s);
  EXPECT_EQ(t, ts);
}

TEST(D3DXMath, RotationsTurnLeftHanded) {
  const float quarter = static_cast<float>(D3DX_PI / 2);
  D3DXMATRIX r;
  ExpectNear(Apply(*D3DXMatrixRotationZ(&r, quarter), D3DXVECTOR3(1, 0, 0)), D3DXVECTOR3(0, 1, 0));
  ExpectNear(Apply(*D3DXMatrixRotationX(&r, quarter), D3DXVECTOR3(0, 1, 0)), D3DXVECTOR3(0, 0, 1));
  ExpectNear(Apply(*D3DXMatrixRotationY(&r, quarter), D3DXVECTOR3(0, 0, 1)), D3DXVECTOR3(1, 0, 0));
  D3DXMATRIX identity;
  D3DXMatrixIdentity(&identity);
  EXPECT_EQ(*D3DXMatrixRotationZ(&r, 0), identity);
}

TEST(D3DXMath, PerspectiveAndLookAtMapTheViewVolume) {
  D3DXMATRIX view, projection, both;
  D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0), up(0, 1, 0);
  D3DXMatrixLookAtLH(&view, &eye, &at, &up);
  ExpectNear(Apply(view, D3DXVECTOR3(0, 0, 0)), D3DXVECTOR3(0, 0, 5));
  ExpectNear(Apply(view, D3DXVECTOR3(1, 2, 0)), D3DXVECTOR3(1, 2, 5));

  D3DXMatrixPerspectiveFovLH(&projection, static_cast<float>(D3DX_PI / 2), 2.0f, 1.0f, 100.0f);
  D3DXMatrixMultiply(&both, &view, &projection);
  // Near plane to depth 0, far plane to 1; the edge of a 90 degree view to x or y = 1.
  EXPECT_NEAR(Apply(both, D3DXVECTOR3(0, 0, -4)).z, 0.0f, 1e-5);
  EXPECT_NEAR(Apply(both, D3DXVECTOR3(0, 0, 95)).z, 1.0f, 1e-5);
  ExpectNear(Apply(projection, D3DXVECTOR3(0, 10, 10)), D3DXVECTOR3(0, 1, Apply(projection, D3DXVECTOR3(0, 0, 10)).z));
  EXPECT_NEAR(Apply(projection, D3DXVECTOR3(20, 0, 10)).x, 1.0f, 1e-5);  // aspect 2 halves x
}

TEST(D3DXMath, InverseUndoesAndSingularMatricesHaveNone) {
  D3DXMATRIX r, t, m, inverse, product, identity;
  D3DXMatrixRotationY(&r, 0.7f);
  D3DXMatrixTranslation(&t, 3, -2, 9);
  D3DXMatrixMultiply(&m, &r, &t);
  FLOAT det = 0;
  ASSERT_NE(D3DXMatrixInverse(&inverse, &det, &m), nullptr);
  EXPECT_NEAR(det, 1.0f, 1e-5);
  D3DXMatrixMultiply(&product, &m, &inverse);
  D3DXMatrixIdentity(&identity);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(product(i, j), identity(i, j), 1e-5);
  D3DXMATRIX flat;
  D3DXMatrixScaling(&flat, 1, 0, 1);
  EXPECT_EQ(D3DXMatrixInverse(&inverse, nullptr, &flat), nullptr);
}

TEST(D3DXMath, VectorsNormaliseCrossAndTransformDirections) {
  D3DXVECTOR3 v(3, 0, 4), n;
  EXPECT_FLOAT_EQ(D3DXVec3Length(&v), 5);
  ExpectNear(*D3DXVec3Normalize(&n, &v), D3DXVECTOR3(0.6f, 0, 0.8f));
  D3DXVECTOR3 zero(0, 0, 0);
  EXPECT_EQ(*D3DXVec3Normalize(&n, &zero), zero);
  D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), c;
  EXPECT_EQ(*D3DXVec3Cross(&c, &x, &y), D3DXVECTOR3(0, 0, 1));
  D3DXMATRIX t;
  D3DXMatrixTranslation(&t, 5, 5, 5);
  D3DXVec3TransformNormal(&c, &x, &t);
  EXPECT_EQ(c, x);
}

}  // namespace
