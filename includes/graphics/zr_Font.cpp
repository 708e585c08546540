#include "graphics/zr_Font.h"

#include <cstdio>
#include <cstring>

zr_Font::zr_Font() : font_(nullptr), enabled_(false) {}

zr_Font::~zr_Font() {
  if (font_ != nullptr) {
    font_->Release();
    font_ = nullptr;
  }
}

void zr_Font::Initialise(IDirect3DDevice9* device, zr_FontDesc description) {
  if (font_ != nullptr) {
    font_->Release();
    font_ = nullptr;
    enabled_ = false;
  }
  D3DXFONT_DESCA desc{};
  desc.Height = description.height;
  desc.Width = static_cast<UINT>(description.width);
  desc.Weight = static_cast<UINT>(description.weight);
  desc.MipLevels = 1;
  desc.Italic = description.italic ? TRUE : FALSE;
  desc.CharSet = description.charSet;
  desc.OutputPrecision = OUT_DEFAULT_PRECIS;
  desc.Quality = DEFAULT_QUALITY;
  desc.PitchAndFamily = description.pitchAndFamily;
  if (description.faceName != nullptr) std::strncpy(desc.FaceName, description.faceName, LF_FACESIZE - 1);
  desc.FaceName[LF_FACESIZE - 1] = '\0';

  D3DXCreateFontIndirectA(device, &desc, &font_);
  if (font_ != nullptr) enabled_ = true;
}

void zr_Font::RenderText(const char* text, int left, int top, int right, int bottom, D3DCOLOR colour) {
  if (!enabled_) return;
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "%s", text != nullptr ? text : "");
  RECT rect{left, top, right, bottom};
  if (right == 0 || bottom == 0) font_->DrawTextA(nullptr, buffer, -1, &rect, DT_CALCRECT, colour);
  font_->DrawTextA(nullptr, buffer, -1, &rect, DT_CENTER, colour);
}

void zr_Font::OnLostDevice() {
  if (font_ != nullptr) font_->OnLostDevice();
}

void zr_Font::OnResetDevice() {
  if (font_ != nullptr) font_->OnResetDevice();
}
