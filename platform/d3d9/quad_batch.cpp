#include "quad_batch.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "d3d9_testing.h"

namespace zr::d3d9 {

namespace {

unsigned long flushesDrawn = 0;  // by every batcher of the process

// Positions arrive in back-buffer pixels; toClip maps them into D3D's clip space for the
// viewport (the device stores rows bottom first, so D3D's clip space is GL's unchanged). The
// colour is the same at the four corners of a quad: flat saves interpolating it.
constexpr const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texcoord;
layout(location = 2) in vec4 colour;
uniform vec4 toClip;
out vec2 uv;
flat out vec4 tint;
void main() {
  gl_Position = vec4(position * toClip.xy + toClip.zw, 0.0, 1.0);
  uv = texcoord;
  tint = colour;
}
)";

// One fragment shader per alpha test function, so that no fragment branches on it.
std::string FragmentShader(DWORD alphaFunc) {
  const char* pass = nullptr;
  switch (alphaFunc) {
    case D3DCMP_NEVER: pass = "false"; break;
    case D3DCMP_LESS: pass = "a < alphaRef"; break;
    case D3DCMP_EQUAL: pass = "a == alphaRef"; break;
    case D3DCMP_LESSEQUAL: pass = "a <= alphaRef"; break;
    case D3DCMP_GREATER: pass = "a > alphaRef"; break;
    case D3DCMP_NOTEQUAL: pass = "a != alphaRef"; break;
    case D3DCMP_GREATEREQUAL: pass = "a >= alphaRef"; break;
    default: break;  // no test
  }
  std::string s = R"(#version 330 core
in vec2 uv;
flat in vec4 tint;
uniform sampler2D image;
uniform float alphaRef;
out vec4 colour;
void main() {
  vec4 c = texture(image, uv) * tint;
)";
  if (pass != nullptr) {
    // The device compares the alpha in 8 bits with ALPHAREF.
    s += "  float a = floor(c.a * 255.0 + 0.5);\n  if (!(";
    s += pass;
    s += ")) discard;\n";
  }
  s += "  colour = c;\n}\n";
  return s;
}

GLuint Compile(GLenum type, const char* source) {
  GLuint shader = glCreateShader(type);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

QuadBatch::QuadBatch(GlDevice* device) : device_(device), vertices_(new Vertex[kMaxQuads * 4]) {
  while (glGetError() != GL_NO_ERROR) {  // errors of earlier calls are not ours
  }
  vertexShader_ = Compile(GL_VERTEX_SHADER, kVertexShader);
  if (vertexShader_ == 0 || ProgramFor(D3DCMP_ALWAYS) == nullptr) return;

  glGenVertexArrays(1, &vao_);
  glBindVertexArray(vao_);
  glGenBuffers(1, &vertexBuffer_);
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  auto stride = static_cast<GLsizei>(sizeof(Vertex));
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(Vertex, x)));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(offsetof(Vertex, u)));
  // 0xAARRGGBB is B, G, R, A in memory: GL_BGRA hands the shader red, green, blue, alpha.
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                        reinterpret_cast<const void*>(offsetof(Vertex, colour)));
  std::vector<GLushort> indices(static_cast<std::size_t>(kMaxQuads) * 6);
  for (std::uint32_t q = 0; q < kMaxQuads; ++q) {
    auto v = static_cast<GLushort>(q * 4);
    GLushort quad[6] = {v, static_cast<GLushort>(v + 1), static_cast<GLushort>(v + 2),
                        static_cast<GLushort>(v + 2), static_cast<GLushort>(v + 1), static_cast<GLushort>(v + 3)};
    std::copy(quad, quad + 6, indices.begin() + static_cast<std::ptrdiff_t>(q) * 6);
  }
  glGenBuffers(1, &indexBuffer_);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(GLushort)), indices.data(),
               GL_STATIC_DRAW);
  glBindVertexArray(0);

  glGenSamplers(1, &nearest_);
  glSamplerParameteri(nearest_, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glSamplerParameteri(nearest_, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glSamplerParameteri(nearest_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glSamplerParameteri(nearest_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  ready_ = glGetError() == GL_NO_ERROR;
}

QuadBatch::~QuadBatch() {
  // The device is going (its context is current): nothing held back can be drawn any more.
  device_->LetGo(this);
  for (Run& r : runs_)
    if (r.keep != nullptr) r.keep->Release();
  for (Program& p : programs_)
    if (p.name != 0) glDeleteProgram(p.name);
  if (vertexShader_ != 0) glDeleteShader(vertexShader_);
  if (vao_ != 0) glDeleteVertexArrays(1, &vao_);
  if (vertexBuffer_ != 0) glDeleteBuffers(1, &vertexBuffer_);
  if (indexBuffer_ != 0) glDeleteBuffers(1, &indexBuffer_);
  if (nearest_ != 0) glDeleteSamplers(1, &nearest_);
  for (const auto& entry : samplers_) glDeleteSamplers(1, &entry.second);
}

QuadBatch::Program* QuadBatch::ProgramFor(DWORD alphaFunc) {
  std::size_t index = 0;
  if (alphaFunc >= D3DCMP_NEVER && alphaFunc < D3DCMP_ALWAYS) index = alphaFunc;
  Program& p = programs_[index];
  if (p.name != 0) return &p;
  std::string source = FragmentShader(index == 0 ? DWORD{D3DCMP_ALWAYS} : alphaFunc);
  GLuint fragment = Compile(GL_FRAGMENT_SHADER, source.c_str());
  if (fragment == 0) return nullptr;
  GLuint program = glCreateProgram();
  glAttachShader(program, vertexShader_);
  glAttachShader(program, fragment);
  glBindFragDataLocation(program, 0, "colour");
  glLinkProgram(program);
  glDeleteShader(fragment);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    glDeleteProgram(program);
    return nullptr;
  }
  p.name = program;
  p.toClip = glGetUniformLocation(program, "toClip");
  p.alphaRef = glGetUniformLocation(program, "alphaRef");
  glUseProgram(program);
  glUniform1i(glGetUniformLocation(program, "image"), 0);
  return &p;
}

QuadBatch::Vertex* QuadBatch::Add(Style style, IUnknown* keep) {
  if (!ready_) return nullptr;
  if (quads_ == kMaxQuads) Flush();
  // The states the quad is drawn with, taken again only when the device's have changed.
  if (states_.empty() || device_->StateSerial() != renderSerial_ || device_->SamplerSerial() != samplerSerial_) {
    States now;
    if (device_->RenderState(D3DRS_ALPHATESTENABLE)) now.alphaFunc = device_->RenderState(D3DRS_ALPHAFUNC);
    now.alphaRef = device_->RenderState(D3DRS_ALPHAREF) & 0xFF;
    now.blend = device_->Blend();
    now.colourWrite = device_->RenderState(D3DRS_COLORWRITEENABLE);
    std::copy_n(device_->SamplerStates(0), D3D_MAX_SAMPLERSTATE, now.sampler.begin());
    if (states_.empty() || !(states_.back() == now)) states_.push_back(now);
    renderSerial_ = device_->StateSerial();
    samplerSerial_ = device_->SamplerSerial();
  }
  style.states = static_cast<std::uint32_t>(states_.size() - 1);
  if (runs_.empty() || !(runs_.back().style == style)) {
    if (keep != nullptr) keep->AddRef();
    runs_.push_back(Run{style, keep, quads_, 0});
  } else if (keep != nullptr && runs_.back().keep == nullptr) {
    // The same texture, first drawn by a sprite that keeps no references.
    keep->AddRef();
    runs_.back().keep = keep;
  }
  if (quads_ == 0) device_->HoldDrawing(this);
  ++runs_.back().count;
  return &vertices_[static_cast<std::size_t>(quads_++) * 4];
}

void QuadBatch::Flush() {
  if (quads_ == 0) return;
  // A flush may release the last reference to a texture, which holds the last one to the
  // device, which owns this batcher: the device lives until the very end of this function.
  device_->AddRef();
  device_->LetGo(this);
  std::swap(runs_, drawing_);
  std::swap(states_, drawingStates_);
  std::uint32_t quads = std::exchange(quads_, 0);
  if (device_->PrepareDraw(GlDevice::DepthStencilUse::kNone)) Draw(drawing_, drawingStates_, quads);  // depth and stencil off
  for (Run& r : drawing_)
    if (r.keep != nullptr) r.keep->Release();
  drawing_.clear();
  drawingStates_.clear();
  device_->Release();
}

void QuadBatch::Drop(GLuint texture) {
  std::vector<IUnknown*> released;
  std::uint32_t at = 0;  // where the quads kept so far end
  std::size_t kept = 0;
  for (Run& r : runs_) {
    if (r.style.texture == texture) {
      if (r.keep != nullptr) released.push_back(r.keep);
      continue;
    }
    if (r.first != at)
      std::copy_n(&vertices_[static_cast<std::size_t>(r.first) * 4], static_cast<std::size_t>(r.count) * 4,
                  &vertices_[static_cast<std::size_t>(at) * 4]);
    r.first = at;
    at += r.count;
    runs_[kept++] = r;
  }
  runs_.resize(kept);
  quads_ = at;
  if (quads_ == 0) {
    runs_.clear();
    states_.clear();
    device_->LetGo(this);
  }
  for (IUnknown* keep : released) keep->Release();  // last: a release may come back here
}

void QuadBatch::Drop() {
  std::vector<Run> runs;
  std::swap(runs, runs_);
  states_.clear();
  quads_ = 0;
  device_->LetGo(this);
  for (Run& r : runs)
    if (r.keep != nullptr) r.keep->Release();
}

ULONG QuadBatch::DeviceReferencesHeld() const {
  std::vector<std::pair<IUnknown*, ULONG>> kept;  // each object kept and the references the runs hold on it
  for (const Run& r : runs_) {
    if (r.keep == nullptr) continue;
    auto found = std::find_if(kept.begin(), kept.end(), [&](const auto& k) { return k.first == r.keep; });
    if (found == kept.end()) kept.emplace_back(r.keep, 1);
    else ++found->second;
  }
  ULONG held = 0;
  for (auto [object, keeps] : kept) {
    ULONG references = object->AddRef() - 1;  // COM's counts, exact here: the batch's alone?
    object->Release();
    if (references == keeps) ++held;
  }
  return held;
}

GLuint QuadBatch::SamplerFor(const std::array<DWORD, D3D_MAX_SAMPLERSTATE>& states) {
  for (const auto& [key, name] : samplers_)
    if (key == states) return name;
  GLuint name = 0;
  glGenSamplers(1, &name);
  device_->SetUpGlSampler(name, states.data());
  samplers_.emplace_back(states, name);
  return name;
}

void QuadBatch::Draw(const std::vector<Run>& runs, const std::vector<States>& states, std::uint32_t quads) {
  // A few sets of sampler states come and go (the caller's, the sprites'): forget old ones now
  // and then, while none is bound.
  constexpr std::size_t kMostSamplers = 16;
  if (samplers_.size() > kMostSamplers) {
    for (const auto& entry : samplers_) glDeleteSamplers(1, &entry.second);
    samplers_.clear();
  }
  const D3DVIEWPORT9& vp = device_->Viewport();
  float w = static_cast<float>(vp.Width);
  float h = static_cast<float>(vp.Height);
  std::array<float, 4> toClip = {2.0f / w, -2.0f / h, -1.0f - 2.0f * static_cast<float>(vp.X) / w,
                                 1.0f + 2.0f * static_cast<float>(vp.Y) / h};

  glBindVertexArray(vao_);
  glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
  // A fresh store each time: GL need not wait for the previous flush's draws.
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(sizeof(Vertex) * 4 * quads), vertices_.get(), GL_STREAM_DRAW);

  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glDisable(GL_STENCIL_TEST);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glActiveTexture(GL_TEXTURE0);
  GLuint boundTexture = 0;
  GLuint boundSampler = 0;
  GLuint statesSampler = 0;  // of the states in force
  bool first = true;
  Style last;
  Program* program = nullptr;
  for (const Run& r : runs) {
    const Style& s = r.style;
    if (first || s.states != last.states) {
      const States& st = states[s.states];
      Program* p = ProgramFor(st.alphaFunc);
      if (p == nullptr) continue;
      if (p != program) glUseProgram(p->name);
      program = p;
      if (toClip != program->lastToClip) {
        glUniform4fv(program->toClip, 1, toClip.data());
        program->lastToClip = toClip;
      }
      auto ref = static_cast<float>(st.alphaRef);
      if (program->alphaRef >= 0 && ref != program->lastAlphaRef) {
        glUniform1f(program->alphaRef, ref);
        program->lastAlphaRef = ref;
      }
      ApplyGlBlend(st.blend);
      device_->ApplyGlColourMask(st.colourWrite);
      statesSampler = SamplerFor(st.sampler);
    }
    if (first || s.texture != boundTexture) glBindTexture(GL_TEXTURE_2D, boundTexture = s.texture);
    GLuint sampler = s.sampling == Sampling::kNearestClamped ? nearest_ : statesSampler;
    if (sampler != boundSampler) glBindSampler(0, boundSampler = sampler);
    if (first || s.clip != last.clip || (s.clip && !(s == last))) {
      if (s.clip) {
        GlDevice::GlRect g = device_->GlRectOf(s.clipRect.left, s.clipRect.top, s.clipRect.right, s.clipRect.bottom);
        glEnable(GL_SCISSOR_TEST);
        glScissor(g.x, g.y, g.width, g.height);
      } else {
        glDisable(GL_SCISSOR_TEST);
      }
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(r.count * 6), GL_UNSIGNED_SHORT,
                   reinterpret_cast<const void*>(static_cast<std::uintptr_t>(r.first) * 6 * sizeof(GLushort)));
    ++drawCalls_;
    last = s;
    first = false;
  }
  glBindSampler(0, device_->SamplerObject(0));
  glBindVertexArray(0);
  ++flushes_;
  ++flushesDrawn;
  device_->InvalidateGlState(GlDevice::kGlDepth | GlDevice::kGlBlend | GlDevice::kGlColourMask | GlDevice::kGlCull |
                             GlDevice::kGlStencil | GlDevice::kGlFill | GlDevice::kGlScissor);
}

unsigned long testing::QuadFlushes() { return flushesDrawn; }

}  // namespace zr::d3d9
