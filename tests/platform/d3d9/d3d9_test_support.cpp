#include "d3d9_test_support.h"

#include <png.h>

#include "surface.h"

namespace d3d9test {

TestWindow::TestWindow(int width, int height) {
  static bool registered = false;
  WNDCLASSEXA c{};
  c.cbSize = sizeof c;
  c.lpfnWndProc = DefWindowProcA;
  c.lpszClassName = "D3D9Test";
  if (!registered) registered = RegisterClassExA(&c) != 0;
  DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE;
  handle_ = CreateWindowExA(0, "D3D9Test", "d3d9 test", style, 10, 10, width, height, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(handle_, nullptr) << "no window: is SDL_VIDEODRIVER or DISPLAY set?";
}

D3DPRESENT_PARAMETERS Windowed(HWND window, UINT width, UINT height) {
  D3DPRESENT_PARAMETERS pp{};
  pp.BackBufferWidth = width, pp.BackBufferHeight = height, pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.hDeviceWindow = window, pp.Windowed = TRUE, pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  return pp;
}

D3DPRESENT_PARAMETERS FullScreen(HWND window, UINT width, UINT height) {
  D3DPRESENT_PARAMETERS pp = Windowed(window, width, height);
  pp.Windowed = FALSE, pp.BackBufferFormat = D3DFMT_X8R8G8B8;
  return pp;
}

void MakeDevice(HWND window, D3DPRESENT_PARAMETERS pp, Device& out) {
  out.device.reset();
  *out.d3d.out() = Direct3DCreate9(D3D_SDK_VERSION);
  ASSERT_EQ(out.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                  out.device.out()),
            D3D_OK);
}

static Picture Read(IDirect3DSurface9* surface, UINT width, UINT height) {
  Picture p{static_cast<int>(width), static_cast<int>(height), std::vector<std::uint32_t>(width * height)};
  RECT all{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  EXPECT_EQ(zr::d3d9::ReadSurfacePixels(surface, all, p.pixels.data(), static_cast<int>(width * 4)), D3D_OK);
  return p;
}

Picture FrontBuffer(IDirect3DDevice9* device, UINT width, UINT height) {
  Ref<IDirect3DSurface9> s;
  EXPECT_EQ(device->CreateOffscreenPlainSurface(width, height, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, s.out(), nullptr),
            D3D_OK);
  EXPECT_EQ(device->GetFrontBufferData(0, s.get()), D3D_OK);
  return Read(s.get(), width, height);
}

Picture BackBuffer(IDirect3DDevice9* device, UINT width, UINT height) {
  Ref<IDirect3DSurface9> back;
  EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, back.out()), D3D_OK);
  return Read(back.get(), width, height);
}

Ink InkOf(const Picture& p, D3DCOLOR background, int fromRow) {
  Ink ink;
  for (int y = fromRow; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.at(x, y) != background) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y), ++ink.count;
      }
  return ink;
}

IDirect3DTexture9* MakeTexture(IDirect3DDevice9* device, int width, int height, const std::vector<std::uint32_t>& pixels,
                               D3DFORMAT format) {
  IDirect3DTexture9* t = nullptr;
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(device->CreateTexture(width, height, 1, 0, format, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
  if (t == nullptr || t->LockRect(0, &locked, nullptr, 0) != D3D_OK) return t;
  for (int y = 0; y < height; ++y)
    std::copy_n(&pixels[static_cast<std::size_t>(y) * width], width, static_cast<std::uint32_t*>(locked.pBits) + y * locked.Pitch / 4);
  t->UnlockRect(0);
  return t;
}

std::vector<std::uint32_t> Gradient(int width, int height) {
  std::vector<std::uint32_t> p;
  for (int i = 0; i < width * height; ++i)
    p.push_back(0xFF000040u | (i % width * 255 / (width - 1)) << 16 | (i / width * 255 / (height - 1)) << 8);
  return p;
}

void WritePng(const char* name, int width, int height, const std::vector<std::uint32_t>& pixels, bool alpha) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION, image.width = width, image.height = height;
  image.format = alpha ? PNG_FORMAT_BGRA : PNG_FORMAT_BGR;
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t p : pixels)
    for (int shift = 0; shift < (alpha ? 32 : 24); shift += 8) bytes.push_back(static_cast<std::uint8_t>(p >> shift));
  ASSERT_TRUE(png_image_write_to_file(&image, name, 0, bytes.data(), 0, nullptr)) << image.message;
}

INSTANTIATE_TEST_SUITE_P(, OnBothTargets, testing::Values(Where::kWindow, Where::kFramebuffer),
                         [](const testing::TestParamInfo<Where>& where) {
                           return where.param == Where::kWindow ? "InTheWindow" : "InAFramebuffer";
                         });

Scene::Scene(UINT w, UINT h, bool depth, Where where)
    : window(int(w) + (where == Where::kWindow ? 0 : 40), int(h) + (where == Where::kWindow ? 0 : 30)) {
  pp = Windowed(window.handle(), w, h);
  pp.EnableAutoDepthStencil = depth;
  pp.AutoDepthStencilFormat = D3DFMT_D24S8;
  MakeDevice(window.handle(), pp, d);
  EXPECT_TRUE(d.device && (depth || d.gl()->DrawsIntoWindow() == (where == Where::kWindow)));
}

}  // namespace d3d9test
