// Render and sampler states: the shadow copy that Set*/Get* work on, its documented defaults, and
// how PrepareDraw carries the changed ones over to GL.
#include <bit>

#include "gl_device.h"

namespace zr::d3d9 {

namespace {

DWORD Bits(float f) { return std::bit_cast<DWORD>(f); }
float Float(DWORD bits) { return std::bit_cast<float>(bits); }

// D3D's stencil operations and the defaults of the states this header leaves unnamed.
constexpr DWORD kStencilKeep = 1;
constexpr DWORD kFogNone = 0;
constexpr DWORD kDegreeLinear = 1;
constexpr DWORD kDegreeCubic = 3;

GLenum Compare(DWORD f, GLenum otherwise) {
  switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    case D3DCMP_ALWAYS: return GL_ALWAYS;
    default: return otherwise;
  }
}

GLenum BlendFactor(DWORD b, GLenum otherwise) {
  switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return otherwise;
  }
}

// D3DBLEND_BOTHSRCALPHA and BOTHINVSRCALPHA, given as the source factor, set both factors.
void BlendPair(DWORD src, DWORD dst, GLenum& s, GLenum& d) {
  if (src == D3DBLEND_BOTHSRCALPHA) {
    s = GL_SRC_ALPHA;
    d = GL_ONE_MINUS_SRC_ALPHA;
  } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
    s = GL_ONE_MINUS_SRC_ALPHA;
    d = GL_SRC_ALPHA;
  } else {
    s = BlendFactor(src, GL_ONE);
    d = BlendFactor(dst, GL_ZERO);
  }
}

GLenum BlendOp(DWORD op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
  }
}

GLenum StencilOp(DWORD op) {
  switch (op) {
    case 2: return GL_ZERO;       // D3DSTENCILOP_ZERO
    case 3: return GL_REPLACE;    // REPLACE
    case 4: return GL_INCR;       // INCRSAT
    case 5: return GL_DECR;       // DECRSAT
    case 6: return GL_INVERT;     // INVERT
    case 7: return GL_INCR_WRAP;  // INCR
    case 8: return GL_DECR_WRAP;  // DECR
    default: return GL_KEEP;
  }
}

GLenum Address(DWORD mode, bool mirrorClamp) {
  switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return mirrorClamp ? GL_MIRROR_CLAMP_TO_EDGE : GL_MIRRORED_REPEAT;
    default: return GL_REPEAT;
  }
}

bool Filters(DWORD f) { return f != D3DTEXF_NONE && f != D3DTEXF_POINT; }  // anything but point samples linearly

GLenum MinFilter(DWORD min, DWORD mip) {
  bool linear = Filters(min);
  if (mip == D3DTEXF_NONE) return linear ? GL_LINEAR : GL_NEAREST;
  if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

}  // namespace

bool IsRenderState(DWORD s) {
  // The numbers Direct3D 9 defines; the gaps are states of earlier versions.
  if (s == 7 || s == 8 || s == 9 || s == 14 || s == 15 || s == 16 || s == 19 || s == 20) return true;
  if (s >= 22 && s <= 29) return true;
  if (s >= 34 && s <= 38) return true;
  if (s == 48 || (s >= 52 && s <= 60)) return true;
  if (s >= 128 && s <= 137) return true;  // WRAP0-7, CLIPPING, LIGHTING
  if (s >= 139 && s <= 143) return true;
  if (s >= 145 && s <= 148) return true;
  if (s == 151 || s == 152) return true;
  if (s >= 154 && s <= 163) return true;
  if (s >= 165 && s <= 168) return true;
  if (s >= 170 && s <= 176) return true;
  if (s >= 178 && s <= 195) return true;
  return s >= 198 && s <= 209;  // WRAP8-15, separate alpha blending
}

DWORD DefaultRenderState(DWORD s, bool hasAutoDepth) {
  switch (s) {
    case D3DRS_ZENABLE: return hasAutoDepth ? D3DZB_TRUE : D3DZB_FALSE;
    case D3DRS_FILLMODE: return D3DFILL_SOLID;
    case D3DRS_SHADEMODE: return D3DSHADE_GOURAUD;
    case D3DRS_ZWRITEENABLE: return TRUE;
    case D3DRS_LASTPIXEL: return TRUE;
    case D3DRS_SRCBLEND: return D3DBLEND_ONE;
    case D3DRS_DESTBLEND: return D3DBLEND_ZERO;
    case D3DRS_CULLMODE: return D3DCULL_CCW;
    case D3DRS_ZFUNC: return D3DCMP_LESSEQUAL;
    case D3DRS_ALPHAFUNC: return D3DCMP_ALWAYS;
    case D3DRS_FOGTABLEMODE: return kFogNone;
    case D3DRS_FOGEND: return Bits(1.0f);
    case D3DRS_FOGDENSITY: return Bits(1.0f);
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
    case D3DRS_CCW_STENCILFAIL:
    case D3DRS_CCW_STENCILZFAIL:
    case D3DRS_CCW_STENCILPASS: return kStencilKeep;
    case D3DRS_STENCILFUNC:
    case D3DRS_CCW_STENCILFUNC: return D3DCMP_ALWAYS;
    case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK:
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_MULTISAMPLEMASK:
    case D3DRS_BLENDFACTOR: return 0xFFFFFFFF;
    case D3DRS_CLIPPING:
    case D3DRS_LIGHTING:
    case D3DRS_COLORVERTEX:
    case D3DRS_LOCALVIEWER:
    case D3DRS_MULTISAMPLEANTIALIAS: return TRUE;
    case D3DRS_FOGVERTEXMODE: return kFogNone;
    case D3DRS_DIFFUSEMATERIALSOURCE: return D3DMCS_COLOR1;
    case D3DRS_SPECULARMATERIALSOURCE: return D3DMCS_COLOR2;
    case D3DRS_POINTSIZE:
    case D3DRS_POINTSIZE_MIN:
    case D3DRS_POINTSCALE_A:
    case D3DRS_MINTESSELLATIONLEVEL:
    case D3DRS_MAXTESSELLATIONLEVEL:
    case D3DRS_ADAPTIVETESS_Z: return Bits(1.0f);
    case D3DRS_POINTSIZE_MAX: return Bits(64.0f);
    case D3DRS_COLORWRITEENABLE:
    case D3DRS_COLORWRITEENABLE1:
    case D3DRS_COLORWRITEENABLE2:
    case D3DRS_COLORWRITEENABLE3: return 0x0000000F;
    case D3DRS_BLENDOP:
    case D3DRS_BLENDOPALPHA: return D3DBLENDOP_ADD;
    case D3DRS_POSITIONDEGREE: return kDegreeCubic;
    case D3DRS_NORMALDEGREE: return kDegreeLinear;
    case D3DRS_SRCBLENDALPHA: return D3DBLEND_ONE;
    case D3DRS_DESTBLENDALPHA: return D3DBLEND_ZERO;
    default: return 0;  // FALSE, 0 and 0.0f alike
  }
}

bool ReadsDestinationAlpha(DWORD state, DWORD value) {
  bool factor = state == D3DRS_SRCBLEND || state == D3DRS_DESTBLEND || state == D3DRS_SRCBLENDALPHA ||
                state == D3DRS_DESTBLENDALPHA;
  return factor && (value == D3DBLEND_DESTALPHA || value == D3DBLEND_INVDESTALPHA || value == D3DBLEND_SRCALPHASAT);
}

int SamplerIndex(DWORD sampler) {
  if (sampler < 16) return static_cast<int>(sampler);
  if (sampler >= 256 && sampler <= 260) return static_cast<int>(sampler - 256 + 16);  // D3DDMAPSAMPLER, vertex samplers
  return -1;
}

DWORD DefaultSamplerState(DWORD type) {
  switch (type) {
    case D3DSAMP_ADDRESSU:
    case D3DSAMP_ADDRESSV:
    case D3DSAMP_ADDRESSW: return D3DTADDRESS_WRAP;
    case D3DSAMP_MAGFILTER:
    case D3DSAMP_MINFILTER: return D3DTEXF_POINT;
    case D3DSAMP_MIPFILTER: return D3DTEXF_NONE;
    case D3DSAMP_MAXANISOTROPY: return 1;
    default: return 0;
  }
}

std::uint32_t GlDevice::GroupOf(DWORD s) {
  switch (s) {
    case D3DRS_ZENABLE:
    case D3DRS_ZWRITEENABLE:
    case D3DRS_ZFUNC: return kDirtyDepth;
    case D3DRS_ALPHABLENDENABLE:
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND:
    case D3DRS_BLENDOP:
    case D3DRS_BLENDFACTOR:
    case D3DRS_SEPARATEALPHABLENDENABLE:
    case D3DRS_SRCBLENDALPHA:
    case D3DRS_DESTBLENDALPHA:
    case D3DRS_BLENDOPALPHA: return kDirtyBlend;
    case D3DRS_COLORWRITEENABLE: return kDirtyColourMask;
    case D3DRS_CULLMODE: return kDirtyCull;
    case D3DRS_STENCILENABLE:
    case D3DRS_STENCILFAIL:
    case D3DRS_STENCILZFAIL:
    case D3DRS_STENCILPASS:
    case D3DRS_STENCILFUNC:
    case D3DRS_STENCILREF:
    case D3DRS_STENCILMASK:
    case D3DRS_STENCILWRITEMASK:
    case D3DRS_TWOSIDEDSTENCILMODE:
    case D3DRS_CCW_STENCILFAIL:
    case D3DRS_CCW_STENCILZFAIL:
    case D3DRS_CCW_STENCILPASS:
    case D3DRS_CCW_STENCILFUNC: return kDirtyStencil;
    case D3DRS_FILLMODE: return kDirtyFill;
    case D3DRS_DEPTHBIAS:
    case D3DRS_SLOPESCALEDEPTHBIAS: return kDirtyDepthBias;
    case D3DRS_DITHERENABLE: return kDirtyDither;
    default: return 0;  // read by the shaders of the drawing backends
  }
}

void GlDevice::ResetStates() {
  bool depth = pp_.EnableAutoDepthStencil != FALSE;
  for (DWORD s = 0; s < D3D_MAX_RENDERSTATE; ++s) renderStates_[s] = IsRenderState(s) ? DefaultRenderState(s, depth) : 0;
  for (auto& sampler : samplerStates_)
    for (DWORD t = 0; t < D3D_MAX_SAMPLERSTATE; ++t) sampler[t] = DefaultSamplerState(t);
  viewport_ = D3DVIEWPORT9{0, 0, pp_.BackBufferWidth, pp_.BackBufferHeight, 0.0f, 1.0f};
  textures_.fill(nullptr);
  ResetFixedFunction();
  dirty_ = kDirtyAll;
  dirtySamplers_ = (1u << kTextureUnits) - 1;
  ++stateSerial_;
  ++samplerSerial_;
}

// Held drawing keeps the states it was given: a change does not send it.
HRESULT GlDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (!IsRenderState(state)) return D3DERR_INVALIDCALL;
  if (renderStates_[state] == value) return D3D_OK;
  // Blending that reads the back buffer's alpha needs one that keeps it (see WindowFits).
  if (ReadsDestinationAlpha(state, value)) destinationAlpha_ = true;
  renderStates_[state] = value;
  dirty_ |= GroupOf(state);
  ++stateSerial_;
  return D3D_OK;
}

HRESULT GlDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (value == nullptr || !IsRenderState(state)) return D3DERR_INVALIDCALL;
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT GlDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
  int index = SamplerIndex(sampler);
  if (index < 0 || type < D3DSAMP_ADDRESSU || type >= D3D_MAX_SAMPLERSTATE) return D3DERR_INVALIDCALL;
  DWORD& slot = samplerStates_[index][type];
  if (slot == value) return D3D_OK;
  slot = value;
  if (static_cast<unsigned>(index) < kTextureUnits) dirtySamplers_ |= 1u << index;
  ++samplerSerial_;
  return D3D_OK;
}

HRESULT GlDevice::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
  int index = SamplerIndex(sampler);
  if (value == nullptr || index < 0 || type < D3DSAMP_ADDRESSU || type >= D3D_MAX_SAMPLERSTATE)
    return D3DERR_INVALIDCALL;
  *value = samplerStates_[index][type];
  return D3D_OK;
}

void GlDevice::InvalidateGlState() {
  dirty_ = kDirtyAll;
  dirtySamplers_ = (1u << kTextureUnits) - 1;
}

void GlDevice::ApplySamplers() {
  for (std::uint32_t pending = dirtySamplers_; pending != 0; pending &= pending - 1) {
    unsigned i = static_cast<unsigned>(std::countr_zero(pending));
    SetUpGlSampler(samplers_[i], samplerStates_[i].data());
  }
  dirtySamplers_ = 0;
}

void GlDevice::SetUpGlSampler(GLuint s, const DWORD* st) const {
  glSamplerParameteri(s, GL_TEXTURE_WRAP_S, static_cast<GLint>(Address(st[D3DSAMP_ADDRESSU], mirrorClampToEdge_)));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_T, static_cast<GLint>(Address(st[D3DSAMP_ADDRESSV], mirrorClampToEdge_)));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_R, static_cast<GLint>(Address(st[D3DSAMP_ADDRESSW], mirrorClampToEdge_)));
  DWORD c = st[D3DSAMP_BORDERCOLOR];
  GLfloat border[4] = {((c >> 16) & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, (c & 0xFF) / 255.0f,
                       ((c >> 24) & 0xFF) / 255.0f};
  glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
  glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, Filters(st[D3DSAMP_MAGFILTER]) ? GL_LINEAR : GL_NEAREST);
  glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER,
                      static_cast<GLint>(MinFilter(st[D3DSAMP_MINFILTER], st[D3DSAMP_MIPFILTER])));
  glSamplerParameterf(s, GL_TEXTURE_LOD_BIAS, Float(st[D3DSAMP_MIPMAPLODBIAS]));
  // D3D's "max mip level" is the most detailed level used: GL's minimum level of detail.
  glSamplerParameterf(s, GL_TEXTURE_MIN_LOD, static_cast<float>(st[D3DSAMP_MAXMIPLEVEL]));
  if (anisotropy_) {
    bool anisotropic = st[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || st[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
    DWORD level = anisotropic ? st[D3DSAMP_MAXANISOTROPY] : 1;
    glSamplerParameterf(s, GL_TEXTURE_MAX_ANISOTROPY_EXT, static_cast<float>(level < 1 ? 1 : level));
  }
}

BlendStates GlDevice::Blend() const {
  const auto& rs = renderStates_;
  return {rs[D3DRS_ALPHABLENDENABLE],         rs[D3DRS_SRCBLEND],      rs[D3DRS_DESTBLEND],
          rs[D3DRS_BLENDOP],                  rs[D3DRS_SEPARATEALPHABLENDENABLE],
          rs[D3DRS_SRCBLENDALPHA],            rs[D3DRS_DESTBLENDALPHA], rs[D3DRS_BLENDOPALPHA],
          rs[D3DRS_BLENDFACTOR]};
}

void ApplyGlBlend(const BlendStates& b) {
  if (!b.enable) {
    glDisable(GL_BLEND);
    return;
  }
  glEnable(GL_BLEND);
  GLenum s;
  GLenum d;
  BlendPair(b.source, b.destination, s, d);
  GLenum sa = s;
  GLenum da = d;
  GLenum opAlpha = BlendOp(b.operation);
  if (b.separateAlpha) {
    BlendPair(b.sourceAlpha, b.destinationAlpha, sa, da);
    opAlpha = BlendOp(b.operationAlpha);
  }
  glBlendFuncSeparate(s, d, sa, da);
  glBlendEquationSeparate(BlendOp(b.operation), opAlpha);
  DWORD f = b.factor;
  glBlendColor(((f >> 16) & 0xFF) / 255.0f, ((f >> 8) & 0xFF) / 255.0f, (f & 0xFF) / 255.0f, ((f >> 24) & 0xFF) / 255.0f);
}

void GlDevice::ApplyGlColourMask(DWORD m) const {
  // An X8R8G8B8 back buffer keeps alpha at 1 so that DESTALPHA blending reads it as opaque.
  bool alpha = (m & 8) != 0 && pp_.BackBufferFormat == D3DFMT_A8R8G8B8;
  glColorMask((m & 1) != 0, (m & 2) != 0, (m & 4) != 0, alpha);
}

// As ApplyRenderStates sets GL up. With the depth test off GL neither reads nor writes depth
// (whatever the depth mask). With it on, a compare other than ALWAYS and NEVER reads depth and,
// with ZWRITEENABLE, writes it; ALWAYS reads nothing but writes with ZWRITEENABLE; NEVER lets no
// fragment through, so depth is neither read nor written (and the stencil's z-fail operation
// does not depend on it). The stencil test reads the stencil buffer whatever its function.
GLbitfield GlDevice::DepthStencilUsedByStates() const {
  const auto& rs = renderStates_;
  GLbitfield used = 0;
  if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && depthWanted_ > 0) {
    GLenum f = Compare(rs[D3DRS_ZFUNC], GL_LEQUAL);
    if (f != GL_NEVER && (f != GL_ALWAYS || rs[D3DRS_ZWRITEENABLE])) used |= GL_DEPTH_BUFFER_BIT;
  }
  if (rs[D3DRS_STENCILENABLE] && stencilWanted_ > 0) used |= GL_STENCIL_BUFFER_BIT;
  return used;
}

void GlDevice::ApplyRenderStates(std::uint32_t groups) {
  const auto& rs = renderStates_;
  if (groups & kDirtyDepth) {
    if (rs[D3DRS_ZENABLE] != D3DZB_FALSE && depthWanted_ > 0) {
      glEnable(GL_DEPTH_TEST);
      glDepthFunc(Compare(rs[D3DRS_ZFUNC], GL_LEQUAL));
      glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    } else {
      glDisable(GL_DEPTH_TEST);
      glDepthMask(GL_FALSE);
    }
  }
  if (groups & kDirtyBlend) ApplyGlBlend(Blend());
  if (groups & kDirtyColourMask) ApplyGlColourMask(rs[D3DRS_COLORWRITEENABLE]);
  if (groups & kDirtyCull) {
    glFrontFace(GL_CW);  // rows are stored bottom first, as D3D draws them: no mirroring (see the header)
    switch (rs[D3DRS_CULLMODE]) {
      case D3DCULL_CW:
        glEnable(GL_CULL_FACE);
        glCullFace(GL_FRONT);
        break;
      case D3DCULL_CCW:
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        break;
      default: glDisable(GL_CULL_FACE); break;
    }
  }
  if (groups & kDirtyStencil) {
    if (rs[D3DRS_STENCILENABLE] && stencilWanted_ > 0) {
      glEnable(GL_STENCIL_TEST);
      auto ref = static_cast<GLint>(rs[D3DRS_STENCILREF] & 0xFF);
      GLuint mask = rs[D3DRS_STENCILMASK];
      // D3D's clockwise faces are GL's front faces (see the header).
      glStencilFuncSeparate(GL_FRONT, Compare(rs[D3DRS_STENCILFUNC], GL_ALWAYS), ref, mask);
      glStencilOpSeparate(GL_FRONT, StencilOp(rs[D3DRS_STENCILFAIL]), StencilOp(rs[D3DRS_STENCILZFAIL]),
                          StencilOp(rs[D3DRS_STENCILPASS]));
      bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != FALSE;
      glStencilFuncSeparate(GL_BACK, Compare(rs[twoSided ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC], GL_ALWAYS),
                            ref, mask);
      glStencilOpSeparate(GL_BACK, StencilOp(rs[twoSided ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL]),
                          StencilOp(rs[twoSided ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL]),
                          StencilOp(rs[twoSided ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS]));
      glStencilMask(rs[D3DRS_STENCILWRITEMASK]);
    } else {
      glDisable(GL_STENCIL_TEST);
      glStencilMask(0);
    }
  }
  if (groups & kDirtyFill) {
    GLenum mode = rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                  : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                            : GL_FILL;
    glPolygonMode(GL_FRONT_AND_BACK, mode);
  }
  if (groups & kDirtyDepthBias) {
    float bias = Float(rs[D3DRS_DEPTHBIAS]);
    float slope = Float(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    if (bias != 0.0f || slope != 0.0f) {
      // D3D's bias is in depth units; GL's is in steps of the depth buffer's resolution.
      int bits = DepthBits();
      float steps = bias * static_cast<float>((1u << (bits > 0 && bits < 32 ? bits : 24)) - 1);
      glEnable(GL_POLYGON_OFFSET_FILL);
      glEnable(GL_POLYGON_OFFSET_LINE);
      glEnable(GL_POLYGON_OFFSET_POINT);
      glPolygonOffset(slope, steps);
    } else {
      glDisable(GL_POLYGON_OFFSET_FILL);
      glDisable(GL_POLYGON_OFFSET_LINE);
      glDisable(GL_POLYGON_OFFSET_POINT);
    }
  }
  // No scissor rectangle can be set through this device: it would cover the whole target, so the
  // scissor test (which Clear uses for its rectangles) stays off for draws.
  if (groups & kDirtyScissor) glDisable(GL_SCISSOR_TEST);
  if (groups & kDirtyDither) {
    if (rs[D3DRS_DITHERENABLE])
      glEnable(GL_DITHER);
    else
      glDisable(GL_DITHER);
  }
}

}  // namespace zr::d3d9
