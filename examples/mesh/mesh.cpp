// A .X model with progressive level of detail: a textured planet in a translucent ring. Its
// detail falls to the minimum and rises again; Space holds it, + and - move it by hand. The
// command line may hold "--detail D" (0 the least, 1 the most): the detail starts held at D.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "objects3d/zr_3DObject.h"
#include "sample.h"

namespace {

constexpr char kModel[] = "ring_planet.x";
constexpr float kCycleSeconds = 16.0f;  // full, falling, minimum, rising

class MeshSample : public Sample {
 public:
  explicit MeshSample(const char* commandLine) {
    const char* option = commandLine != nullptr ? std::strstr(commandLine, "--detail ") : nullptr;
    if (option == nullptr) return;
    detail_ = std::clamp(std::strtof(option + std::strlen("--detail "), nullptr), 0.0f, 1.0f);
    automatic_ = false;
  }

  const char* Title() const override { return "Velkor Engine: Detailstufen"; }

  bool Start(IDirect3DDevice9* device, zr_TextureManager& textures) override {
    model_.Initialise(device, &textures, true);
    return model_.LoadFromFile(kModel, 0) == 0;
  }

  void SetDeviceStates(IDirect3DDevice9* device) override {
    // The scene's light sits at the origin, inside the planet: a sun from the upper left and a
    // faint light from behind show the model's shape.
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = D3DCOLORVALUE{1.0f, 0.97f, 0.9f, 1.0f};
    sun.Specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    sun.Direction = D3DVECTOR{0.6f, -0.35f, 0.7f};
    device->SetLight(1, &sun);
    device->LightEnable(1, TRUE);
    D3DLIGHT9 back{};
    back.Type = D3DLIGHT_DIRECTIONAL;
    back.Diffuse = D3DCOLORVALUE{0.15f, 0.18f, 0.3f, 1.0f};
    back.Direction = D3DVECTOR{-0.5f, 0.3f, -0.6f};
    device->SetLight(2, &back);
    device->LightEnable(2, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(50, 50, 60));
    device->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  }

  void Frame(const SampleFrame& frame) override {
    IDirect3DDevice9* device = frame.device;
    const zr_KeyboardData& keys = *frame.keys;
    const bool space = KeyDown(keys, DIK_SPACE);
    if (space && !spaceHeld_) automatic_ = !automatic_;
    spaceHeld_ = space;
    if (automatic_) {
      cycle_ = std::fmod(cycle_ + frame.step, kCycleSeconds);
      detail_ = Detail(cycle_);
    } else {
      if (KeyDown(keys, DIK_ADD) || KeyDown(keys, DIK_EQUALS)) detail_ = std::min(1.0f, detail_ + 0.4f * frame.step);
      if (KeyDown(keys, DIK_SUBTRACT) || KeyDown(keys, DIK_MINUS)) detail_ = std::max(0.0f, detail_ - 0.4f * frame.step);
    }
    const int maxFaces = model_.GetMaxFaces();
    const int faces = static_cast<int>(std::lround(detail_ * static_cast<float>(maxFaces)));

    // The world matrix puts the translation before the turns: at the origin the model turns in place.
    model_.SetTransform(D3DXVECTOR3(1.7f, 1.7f, 1.7f), D3DXVECTOR3(0.0f, 0.0f, 0.0f),
                        D3DXVECTOR3(0.25f, 0.3f * frame.seconds, 0.0f));
    // The texture stage mixes the texture with the light, and the alpha of the light's colour
    // (the material's) with the texture's, so the ring shows through.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    model_.Render(faces, true, false);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    model_.Render(faces, false, true);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  }

  void Describe(char* text, std::size_t size) override {
    std::snprintf(text, size, "Dreiecke: %d von %d%s", model_.GetActuallyNumberOfFaces(), model_.GetMaxFaces(),
                  automatic_ ? "   (Leertaste: anhalten)" : "   (angehalten: + und - aendern, Leertaste: weiter)");
  }

  // The drawn copy lives in the device's default pool; the model keeps its own.
  void OnLostDevice() override { model_.InvalidateDeviceObjects(); }
  void OnResetDevice(IDirect3DDevice9*) override { model_.RestoreObject(); }
  void Stop() override { model_.Destroy(); }

 private:
  // Two seconds at full detail, six falling to the minimum, two there, six rising.
  static float Detail(float t) {
    if (t < 2.0f) return 1.0f;
    if (t < 8.0f) return 1.0f - (t - 2.0f) / 6.0f;
    if (t < 10.0f) return 0.0f;
    return (t - 10.0f) / 6.0f;
  }

  zr_3DObject model_;
  float detail_ = 1.0f;
  float cycle_ = 0.0f;
  bool automatic_ = true;
  bool spaceHeld_ = false;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  MeshSample sample(commandLine);
  return RunSample(sample, instance, commandLine);
}
