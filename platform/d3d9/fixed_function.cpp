// The fixed-function pipeline's programs: keys from the device's states, GLSL generated from a
// key, uniforms from the device's states, and the draw itself.
//
// The lighting that the vertex shaders compute, in camera space (Direct3D 9's lighting
// formulas; the comments say where its documentation leaves room):
//   diffuse out  = clamp(Ca * (Ga + sum Lai * Atti * Spoti) + Cd * sum Ldi * (N . Li) * Atti * Spoti + Ce)
//                  with the alpha of Cd
//   specular out = clamp(Cs * sum Lsi * (N . Hi)^P * Atti * Spoti), with D3DRS_SPECULARENABLE
// - Ga: D3DRS_AMBIENT. Ca, Cd, Cs, Ce: the material's ambient, diffuse, specular and emissive
//   colours, or the vertex's diffuse (D3DMCS_COLOR1) or specular (D3DMCS_COLOR2) colour as the
//   *MATERIALSOURCE states say, when D3DRS_COLORVERTEX is on and the vertex has that colour.
// - N: the normal times the inverse transpose of world x view, normalised only with
//   D3DRS_NORMALIZENORMALS. Without a normal, the terms with N are 0.
// - Li: towards the light. Directional lights: minus their direction times the view matrix,
//   normalised, with Att = Spot = 1. Point and spot lights: from the vertex to the position
//   times the view matrix; beyond Range the light adds nothing, else Att = 1 / (Attenuation0 +
//   Attenuation1 d + Attenuation2 d^2). Spot lights: with rho the cosine between the spot's
//   direction and the light-to-vertex direction, Spot = 1 inside Theta / 2, 0 outside Phi / 2,
//   and ((rho - cos(Phi / 2)) / (cos(Theta / 2) - cos(Phi / 2)))^Falloff between.
// - N . Li is clamped at 0; a light behind the surface (N . Li <= 0) gives no diffuse and, a
//   choice where the documentation is silent, no highlight either.
// - Hi: normalize(normalize(-V) + Li) with D3DRS_LOCALVIEWER (V the vertex in camera space),
//   normalize((0, 0, -1) + Li) without (the viewer far down the -z axis of camera space; the
//   Direct3D 9 page writes (0, 0, 1), which would put the viewer behind the camera; Direct3D 8's
//   page has -1). (N . Hi)^P is 0 for N . Hi <= 0 (1 when P is 0).
#include "fixed_function.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "gl_device.h"
#include "texture.h"

namespace zr::d3d9 {

namespace {

// Bytes of the key per stage argument: the selector and the two modifiers.
constexpr std::uint8_t kArgMask = D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE;

// Which arguments (bit 0: arg0, 1: arg1, 2: arg2) an operation reads.
unsigned ArgsOf(DWORD op) {
  switch (op) {
    case D3DTOP_SELECTARG2: return 4;
    case D3DTOP_MULTIPLYADD:
    case D3DTOP_LERP: return 7;
    case D3DTOP_SELECTARG1:
    case D3DTOP_PREMODULATE:
    case D3DTOP_BUMPENVMAP:
    case D3DTOP_BUMPENVMAPLUMINANCE: return 2;
    case D3DTOP_DISABLE: return 0;
    default: return op >= D3DTOP_MODULATE && op <= D3DTOP_LERP ? 6 : 2;  // unknown ones select arg1
  }
}

bool ReadsTexture(DWORD op, std::uint8_t a0, std::uint8_t a1, std::uint8_t a2) {
  if (op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM) return true;
  unsigned used = ArgsOf(op);
  auto texture = [](std::uint8_t a) { return (a & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
  return ((used & 1) && texture(a0)) || ((used & 2) && texture(a1)) || ((used & 4) && texture(a2));
}

// 4x4 product a x b, row-major as D3D stores matrices.
std::array<float, 16> Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  std::array<float, 16> r{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a.m[i][k] * b.m[k][j];
      r[static_cast<std::size_t>(i * 4 + j)] = s;
    }
  return r;
}

// The inverse transpose of the upper 3x3 of a row-major 4x4 matrix: its cofactors over its
// determinant. A singular matrix gives itself.
std::array<float, 9> InverseTranspose3(const std::array<float, 16>& m) {
  auto a = [&](int r, int c) { return m[static_cast<std::size_t>(r * 4 + c)]; };
  std::array<float, 9> c = {
      a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1),    -(a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)),
      a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0),    -(a(0, 1) * a(2, 2) - a(0, 2) * a(2, 1)),
      a(0, 0) * a(2, 2) - a(0, 2) * a(2, 0),    -(a(0, 0) * a(2, 1) - a(0, 1) * a(2, 0)),
      a(0, 1) * a(1, 2) - a(0, 2) * a(1, 1),    -(a(0, 0) * a(1, 2) - a(0, 2) * a(1, 0)),
      a(0, 0) * a(1, 1) - a(0, 1) * a(1, 0),
  };
  float det = a(0, 0) * c[0] + a(0, 1) * c[1] + a(0, 2) * c[2];
  if (det == 0.0f || !std::isfinite(det)) {
    return {a(0, 0), a(0, 1), a(0, 2), a(1, 0), a(1, 1), a(1, 2), a(2, 0), a(2, 1), a(2, 2)};
  }
  for (float& v : c) v /= det;
  return c;
}

// The row vector (x, y, z, w) times a D3D matrix.
void Transform(const D3DMATRIX& m, float x, float y, float z, float w, float out[3]) {
  for (int j = 0; j < 3; ++j) out[j] = x * m.m[0][j] + y * m.m[1][j] + z * m.m[2][j] + w * m.m[3][j];
}

void Normalise(float v[3]) {
  float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  if (length > 0)
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

void Colour(const D3DCOLORVALUE& c, float* out) {
  out[0] = c.r;
  out[1] = c.g;
  out[2] = c.b;
  out[3] = c.a;
}

void Colour(D3DCOLOR c, float* out) {
  out[0] = ((c >> 16) & 0xFF) / 255.0f;
  out[1] = ((c >> 8) & 0xFF) / 255.0f;
  out[2] = (c & 0xFF) / 255.0f;
  out[3] = ((c >> 24) & 0xFF) / 255.0f;
}

GLuint Compile(GLenum type, const std::string& source, std::string& error) {
  GLuint shader = glCreateShader(type);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    error = std::string(type == GL_VERTEX_SHADER ? "vertex shader: " : "fragment shader: ") + log;
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

// --- GLSL text ------------------------------------------------------------------------------------

std::string N(unsigned i) { return std::to_string(i); }

// A colour source of lighting as GLSL.
const char* SourceOf(std::uint8_t source, int material) {
  static const char* const kMaterial[4] = {"material[0]", "material[1]", "material[2]", "material[3]"};
  if (source == D3DMCS_COLOR1) return "inDiffuse";
  if (source == D3DMCS_COLOR2) return "inSpecular";
  return kMaterial[material];
}

// A stage argument as a vec4.
std::string ArgumentOf(std::uint8_t a, unsigned stage) {
  std::string s;
  switch (a & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: s = "vDiffuse"; break;
    case D3DTA_CURRENT: s = "current"; break;
    case D3DTA_TEXTURE: s = "tex"; break;
    case D3DTA_TFACTOR: s = "textureFactor"; break;
    case D3DTA_SPECULAR: s = "vSpecular"; break;
    case D3DTA_TEMP: s = "temp"; break;
    case D3DTA_CONSTANT: s = "stageConstant[" + N(stage) + "]"; break;
    default: s = "vec4(1.0)"; break;
  }
  if (a & D3DTA_ALPHAREPLICATE) s = "(" + s + ").aaaa";
  if (a & D3DTA_COMPLEMENT) s = "(vec4(1.0) - " + s + ")";
  return s;
}

// An operation on the arguments x0, x1, x2 (the .rgb or .a of the stage's vec4s `v`0-2).
std::string OperationOf(DWORD op, const std::string& v, const std::string& part) {
  auto x = [&](int i) { return v + N(static_cast<unsigned>(i)) + part; };
  bool colour = part == ".rgb";
  switch (op) {
    case D3DTOP_SELECTARG2: return x(2);
    case D3DTOP_MODULATE: return x(1) + " * " + x(2);
    case D3DTOP_MODULATE2X: return "2.0 * " + x(1) + " * " + x(2);
    case D3DTOP_MODULATE4X: return "4.0 * " + x(1) + " * " + x(2);
    case D3DTOP_ADD: return x(1) + " + " + x(2);
    case D3DTOP_ADDSIGNED: return x(1) + " + " + x(2) + " - 0.5";
    case D3DTOP_ADDSIGNED2X: return "2.0 * (" + x(1) + " + " + x(2) + " - 0.5)";
    case D3DTOP_SUBTRACT: return x(1) + " - " + x(2);
    case D3DTOP_ADDSMOOTH: return x(1) + " + " + x(2) + " - " + x(1) + " * " + x(2);
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + x(2) + ", " + x(1) + ", vDiffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + x(2) + ", " + x(1) + ", tex.a)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + x(2) + ", " + x(1) + ", textureFactor.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return x(1) + " + " + x(2) + " * (1.0 - tex.a)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + x(2) + ", " + x(1) + ", current.a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
      if (colour) return x(1) + " + " + v + "1.a * " + x(2);
      break;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
      if (colour) return x(1) + " * " + x(2) + " + " + v + "1.a";
      break;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
      if (colour) return "(1.0 - " + v + "1.a) * " + x(2) + " + " + x(1);
      break;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
      if (colour) return "(1.0 - " + x(1) + ") * " + x(2) + " + " + v + "1.a";
      break;
    case D3DTOP_DOTPRODUCT3: {
      std::string dot = "clamp(4.0 * dot(" + v + "1.rgb - 0.5, " + v + "2.rgb - 0.5), 0.0, 1.0)";
      return colour ? "vec3(" + dot + ")" : dot;
    }
    case D3DTOP_MULTIPLYADD: return x(0) + " + " + x(1) + " * " + x(2);
    case D3DTOP_LERP: return "mix(" + x(2) + ", " + x(1) + ", " + x(0) + ")";
    default: break;
  }
  return x(1);  // SELECTARG1, and what is taken as it
}

}  // namespace

struct FixedFunction::Program {
  GLuint name = 0;
  GLint worldView = -1, projection = -1, normalMatrix = -1, toClip = -1;
  GLint globalAmbient = -1, material = -1, power = -1, light = -1;
  GLint textureFactor = -1, stageConstant = -1, alphaRef = -1;
  std::uint64_t view = ~0ull, world = ~0ull, projectionSeen = ~0ull, lights = ~0ull, lightsView = ~0ull;
  std::uint64_t materialSeen = ~0ull, stages = ~0ull, states = ~0ull;
  std::array<float, 4> toClipValue{std::numeric_limits<float>::quiet_NaN()};
};

std::size_t FixedFunction::KeyHash::operator()(const ProgramKey& key) const {
  auto bytes = reinterpret_cast<const unsigned char*>(&key);
  std::size_t h = 1469598103934665603ull;
  for (std::size_t i = 0; i < sizeof key; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

bool FixedFunction::KeyEqual::operator()(const ProgramKey& a, const ProgramKey& b) const {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

static_assert(sizeof(ProgramKey) == 17 + kFixedLights + kFixedStages * sizeof(StageKey),
              "the key is bytes only, without padding");

FixedFunction::FixedFunction(GlDevice* device) : device_(device) {
  glGenVertexArrays(1, &vao_);
  // D3D shades a flat triangle with its first vertex's colours.
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
}

FixedFunction::~FixedFunction() {
  // The device is going, its context current.
  for (auto& [key, program] : programs_)
    if (program->name != 0) glDeleteProgram(program->name);
  if (vao_ != 0) glDeleteVertexArrays(1, &vao_);
}

void FixedFunction::ForgetBuffer(GLuint name) {
  if (name == 0) return;
  if (boundVertices_ == name) boundVertices_ = 0, boundFvf_ = 0;
  if (boundIndices_ == name) {
    // The vertex array would keep the dead buffer as its index buffer.
    glBindVertexArray(vao_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindVertexArray(0);
    boundIndices_ = 0;
  }
}

ProgramKey FixedFunction::KeyFor(const FvfLayout& l) const {
  const GlDevice& d = *device_;
  ProgramKey k{};
  k.rhw = l.rhw;
  k.normal = l.normal >= 0;
  k.diffuse = l.diffuse >= 0;
  k.specular = l.specular >= 0;
  k.texCount = static_cast<std::uint8_t>(l.texCount);
  k.lighting = !l.rhw && d.RenderState(D3DRS_LIGHTING) != FALSE;
  k.specularEnable = d.RenderState(D3DRS_SPECULARENABLE) != FALSE;
  k.flat = d.RenderState(D3DRS_SHADEMODE) == D3DSHADE_FLAT;
  if (k.lighting) {
    k.localViewer = k.specularEnable && k.normal && d.RenderState(D3DRS_LOCALVIEWER) != FALSE;
    k.normalize = k.normal && d.RenderState(D3DRS_NORMALIZENORMALS) != FALSE;
    bool colourVertex = d.RenderState(D3DRS_COLORVERTEX) != FALSE;
    auto source = [&](D3DRENDERSTATETYPE state) -> std::uint8_t {
      DWORD s = colourVertex ? d.RenderState(state) : DWORD{D3DMCS_MATERIAL};
      if (s == D3DMCS_COLOR1 && k.diffuse) return D3DMCS_COLOR1;
      if (s == D3DMCS_COLOR2 && k.specular) return D3DMCS_COLOR2;
      return D3DMCS_MATERIAL;
    };
    k.diffuseSource = source(D3DRS_DIFFUSEMATERIALSOURCE);
    k.ambientSource = source(D3DRS_AMBIENTMATERIALSOURCE);
    k.specularSource = k.specularEnable ? source(D3DRS_SPECULARMATERIALSOURCE) : 0;
    k.emissiveSource = source(D3DRS_EMISSIVEMATERIALSOURCE);
    for (DWORD index : d.EnabledLights()) {
      if (k.lightCount == kFixedLights) break;
      k.lightTypes[k.lightCount++] = static_cast<std::uint8_t>(d.Lights().at(index).Type);
    }
  }
  if (d.RenderState(D3DRS_ALPHATESTENABLE)) {
    DWORD f = d.RenderState(D3DRS_ALPHAFUNC);
    if (f >= D3DCMP_NEVER && f < D3DCMP_ALWAYS) k.alphaFunc = static_cast<std::uint8_t>(f);
  }
  for (unsigned s = 0; s < kFixedStages; ++s) {
    DWORD colorOp = d.TextureStageState(s, D3DTSS_COLOROP);
    if (colorOp == D3DTOP_DISABLE || colorOp == 0 || colorOp > D3DTOP_LERP) break;
    StageKey& st = k.stages[s];
    DWORD alphaOp = d.TextureStageState(s, D3DTSS_ALPHAOP);
    if (alphaOp > D3DTOP_LERP) alphaOp = D3DTOP_SELECTARG1;
    st.colorOp = static_cast<std::uint8_t>(colorOp);
    st.alphaOp = static_cast<std::uint8_t>(alphaOp);
    auto arg = [&](DWORD op, unsigned which, D3DTEXTURESTAGESTATETYPE type) -> std::uint8_t {
      return (ArgsOf(op) & (1u << which)) ? static_cast<std::uint8_t>(d.TextureStageState(s, type) & kArgMask) : 0;
    };
    st.colorArg0 = arg(colorOp, 0, D3DTSS_COLORARG0);
    st.colorArg1 = arg(colorOp, 1, D3DTSS_COLORARG1);
    st.colorArg2 = arg(colorOp, 2, D3DTSS_COLORARG2);
    st.alphaArg0 = arg(alphaOp, 0, D3DTSS_ALPHAARG0);
    st.alphaArg1 = arg(alphaOp, 1, D3DTSS_ALPHAARG1);
    st.alphaArg2 = arg(alphaOp, 2, D3DTSS_ALPHAARG2);
    st.result = d.TextureStageState(s, D3DTSS_RESULTARG) == D3DTA_TEMP;
    if (ReadsTexture(colorOp, st.colorArg0, st.colorArg1, st.colorArg2) ||
        ReadsTexture(alphaOp, st.alphaArg0, st.alphaArg1, st.alphaArg2)) {
      GlTexture* t = d.TextureAt(s);
      st.texture = t != nullptr ? 1 : 2;
      DWORD set = d.TextureStageState(s, D3DTSS_TEXCOORDINDEX) & 0xFFFF;
      st.texCoord = t != nullptr && set < static_cast<DWORD>(l.texCount) ? static_cast<std::uint8_t>(set) : 0xFF;
    }
    ++k.stageCount;
  }
  return k;
}

std::string FixedFunction::VertexShaderFor(const ProgramKey& k) {
  std::string s = "#version 330 core\nlayout(location = 0) in vec4 inPosition;\n";
  if (k.normal) s += "layout(location = 1) in vec3 inNormal;\n";
  if (k.diffuse) s += "layout(location = 2) in vec4 inDiffuse;\n";
  if (k.specular) s += "layout(location = 3) in vec4 inSpecular;\n";
  for (unsigned i = 0; i < k.texCount; ++i) s += "layout(location = " + N(4 + i) + ") in vec4 inTex" + N(i) + ";\n";
  const char* flat = k.flat ? "flat " : "";
  s += std::string(flat) + "out vec4 vDiffuse;\n" + flat + "out vec4 vSpecular;\n";
  for (unsigned i = 0; i < k.texCount; ++i) s += "out vec2 vTex" + N(i) + ";\n";
  s += "uniform vec4 toClip;\n";
  if (!k.rhw) s += "uniform mat4 worldView;\nuniform mat4 projection;\n";
  if (k.lighting) {
    s += "uniform vec4 globalAmbient;\nuniform vec4 material[4];\n";
    if (k.normal) s += "uniform mat3 normalMatrix;\n";
    if (k.specularEnable) s += "uniform float power;\n";
    if (k.lightCount > 0) s += "uniform vec4 light[" + N(7u * k.lightCount) + "];\n";
    if (k.specularEnable) {
      s += "float Highlight(float nh) {\n"
           "  return nh > 0.0 ? pow(nh, power) : (power == 0.0 ? 1.0 : 0.0);\n}\n";
    }
  }
  s += "void main() {\n";
  if (k.rhw) {
    // Screen pixels: toClip maps x and y (moved to GL's pixel centres) into the viewport.
    s += "  float w = inPosition.w != 0.0 ? 1.0 / inPosition.w : 1.0;\n"
         "  vec2 ndc = inPosition.xy * toClip.xy + toClip.zw;\n"
         "  gl_Position = vec4(ndc * w, (inPosition.z * 2.0 - 1.0) * w, w);\n";
  } else {
    s += "  vec4 eye = worldView * vec4(inPosition.xyz, 1.0);\n"
         "  vec4 clip = projection * eye;\n"
         "  clip.xy += toClip.xy * clip.w;\n"
         "  clip.z = clip.z * 2.0 - clip.w;\n"
         "  gl_Position = clip;\n";
  }
  if (!k.lighting) {
    s += k.diffuse ? "  vDiffuse = inDiffuse;\n" : "  vDiffuse = vec4(1.0);\n";
    s += k.specular ? "  vSpecular = inSpecular;\n" : "  vSpecular = vec4(0.0);\n";
  } else {
    s += "  vec3 ambientSum = vec3(0.0);\n  vec3 diffuseSum = vec3(0.0);\n  vec3 specularSum = vec3(0.0);\n";
    bool normal = k.normal;
    bool specular = k.specularEnable && normal;
    if (normal) {
      s += "  vec3 n = normalMatrix * inNormal;\n";
      if (k.normalize) s += "  float nLength = length(n);\n  if (nLength > 0.0) n /= nLength;\n";
    }
    if (specular) s += k.localViewer ? "  vec3 toEye = normalize(-eye.xyz);\n" : "  vec3 toEye = vec3(0.0, 0.0, -1.0);\n";
    for (unsigned i = 0; i < k.lightCount; ++i) {
      auto at = [&](int field) { return "light[" + N(7 * i + static_cast<unsigned>(field)) + "]"; };
      s += "  {\n";
      if (k.lightTypes[i] == D3DLIGHT_DIRECTIONAL) {
        s += "    vec3 l = " + at(4) + ".xyz;\n    float f = 1.0;\n";
      } else {
        s += "    vec3 toLight = " + at(3) + ".xyz - eye.xyz;\n"
             "    float d = length(toLight);\n"
             "    vec3 l = d > 0.0 ? toLight / d : vec3(0.0);\n"
             "    float f = d <= " + at(5) + ".w ? 1.0 / max(dot(" + at(5) + ".xyz, vec3(1.0, d, d * d)), 1e-30) : 0.0;\n";
        if (k.lightTypes[i] == D3DLIGHT_SPOT) {
          s += "    float rho = dot(-l, " + at(4) + ".xyz);\n"
               "    vec4 cone = " + at(6) + ";\n"
               "    f *= rho > cone.x ? 1.0 : (rho <= cone.y ? 0.0 : pow((rho - cone.y) / (cone.x - cone.y), cone.z));\n";
        }
      }
      s += "    ambientSum += " + at(2) + ".rgb * f;\n";
      if (normal) {
        s += "    float nl = dot(n, l);\n    if (nl > 0.0) {\n      diffuseSum += " + at(0) + ".rgb * (nl * f);\n";
        if (specular) s += "      specularSum += " + at(1) + ".rgb * (Highlight(dot(n, normalize(toEye + l))) * f);\n";
        s += "    }\n";
      }
      s += "  }\n";
    }
    s += std::string("  vec4 cd = ") + SourceOf(k.diffuseSource, 0) + ";\n" +
         "  vec4 ca = " + SourceOf(k.ambientSource, 1) + ";\n" +
         "  vec4 ce = " + SourceOf(k.emissiveSource, 3) + ";\n" +
         "  vDiffuse = clamp(vec4(ca.rgb * (globalAmbient.rgb + ambientSum) + cd.rgb * diffuseSum + ce.rgb, cd.a), "
         "0.0, 1.0);\n";
    if (k.specularEnable) {
      s += std::string("  vec4 cs = ") + SourceOf(k.specularSource, 2) + ";\n" +
           "  vSpecular = clamp(vec4(cs.rgb * specularSum, cs.a), 0.0, 1.0);\n";
    } else {
      s += "  vSpecular = vec4(0.0);\n";
    }
  }
  for (unsigned i = 0; i < k.texCount; ++i) s += "  vTex" + N(i) + " = inTex" + N(i) + ".xy;\n";
  s += "}\n";
  return s;
}

std::string FixedFunction::FragmentShaderFor(const ProgramKey& k) {
  const char* flat = k.flat ? "flat " : "";
  std::string s = std::string("#version 330 core\n") + flat + "in vec4 vDiffuse;\n" + flat + "in vec4 vSpecular;\n";
  for (unsigned i = 0; i < k.texCount; ++i) s += "in vec2 vTex" + N(i) + ";\n";
  s += "uniform vec4 textureFactor;\nuniform vec4 stageConstant[" + N(kFixedStages) + "];\nuniform float alphaRef;\n";
  for (unsigned i = 0; i < k.stageCount; ++i)
    if (k.stages[i].texture == 1) s += "uniform sampler2D stageTexture" + N(i) + ";\n";
  s += "out vec4 colour;\nvoid main() {\n  vec4 current = vDiffuse;\n  vec4 temp = vec4(0.0);\n";
  for (unsigned i = 0; i < k.stageCount; ++i) {
    const StageKey& st = k.stages[i];
    s += "  {\n";
    if (st.texture == 1) {
      std::string coord = st.texCoord == 0xFF ? "vec2(0.0)" : "vTex" + N(st.texCoord);
      s += "    vec4 tex = texture(stageTexture" + N(i) + ", " + coord + ");\n";
    } else if (st.texture == 2) {
      s += "    vec4 tex = vec4(1.0);\n";
    }
    // Arguments are read before the stage writes anything.
    const std::uint8_t colourArgs[3] = {st.colorArg0, st.colorArg1, st.colorArg2};
    const std::uint8_t alphaArgs[3] = {st.alphaArg0, st.alphaArg1, st.alphaArg2};
    for (unsigned a = 0; a < 3; ++a) {
      if (ArgsOf(st.colorOp) & (1u << a)) s += "    vec4 c" + N(a) + " = " + ArgumentOf(colourArgs[a], i) + ";\n";
      if (st.alphaOp != D3DTOP_DISABLE && (ArgsOf(st.alphaOp) & (1u << a)))
        s += "    vec4 a" + N(a) + " = " + ArgumentOf(alphaArgs[a], i) + ";\n";
    }
    std::string colour = OperationOf(st.colorOp, "c", ".rgb");
    std::string alpha;
    if (st.colorOp == D3DTOP_DOTPRODUCT3) alpha = OperationOf(st.colorOp, "c", ".a");  // to all four channels
    else if (st.alphaOp == D3DTOP_DISABLE) alpha = "current.a";
    else alpha = OperationOf(st.alphaOp, "a", ".a");
    s += std::string("    ") + (st.result ? "temp" : "current") + " = clamp(vec4(" + colour + ", " + alpha +
         "), 0.0, 1.0);\n  }\n";
  }
  if (k.specularEnable) s += "  current.rgb = clamp(current.rgb + vSpecular.rgb, 0.0, 1.0);\n";
  if (k.alphaFunc != 0) {
    static const char* const kPass[] = {"", "false", "a < alphaRef", "a == alphaRef", "a <= alphaRef",
                                        "a > alphaRef", "a != alphaRef", "a >= alphaRef"};
    s += "  float a = floor(current.a * 255.0 + 0.5);\n  if (!(" + std::string(kPass[k.alphaFunc]) + ")) discard;\n";
  }
  s += "  colour = current;\n}\n";
  return s;
}

FixedFunction::Program* FixedFunction::ProgramFor(const ProgramKey& key) {
  auto found = programs_.find(key);
  if (found != programs_.end()) return found->second.get();
  std::string error;
  GLuint vs = Compile(GL_VERTEX_SHADER, VertexShaderFor(key), error);
  GLuint fs = vs != 0 ? Compile(GL_FRAGMENT_SHADER, FragmentShaderFor(key), error) : 0;
  if (fs == 0) {
    if (vs != 0) glDeleteShader(vs);
    lastError_ = error;
    return nullptr;
  }
  GLuint program = glCreateProgram();
  glAttachShader(program, vs);
  glAttachShader(program, fs);
  glBindFragDataLocation(program, 0, "colour");
  glLinkProgram(program);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    char log[1024] = {};
    glGetProgramInfoLog(program, sizeof log, nullptr, log);
    lastError_ = std::string("link: ") + log;
    glDeleteProgram(program);
    return nullptr;
  }
  auto p = std::make_unique<Program>();
  p->name = program;
  auto location = [&](const char* name) { return glGetUniformLocation(program, name); };
  p->worldView = location("worldView");
  p->projection = location("projection");
  p->normalMatrix = location("normalMatrix");
  p->toClip = location("toClip");
  p->globalAmbient = location("globalAmbient");
  p->material = location("material");
  p->power = location("power");
  p->light = location("light");
  p->textureFactor = location("textureFactor");
  p->stageConstant = location("stageConstant");
  p->alphaRef = location("alphaRef");
  glUseProgram(program);
  for (unsigned i = 0; i < key.stageCount; ++i) {
    GLint sampler = location(("stageTexture" + N(i)).c_str());
    if (sampler >= 0) glUniform1i(sampler, static_cast<GLint>(i));
  }
  Program* result = p.get();
  programs_.emplace(key, std::move(p));
  return result;
}

void FixedFunction::SendUniforms(Program& p, const ProgramKey& key) {
  const GlDevice& d = *device_;
  using Change = GlDevice::Change;
  const D3DVIEWPORT9& vp = d.Viewport();
  float w = static_cast<float>(vp.Width);
  float h = static_cast<float>(vp.Height);
  // Just under half a pixel: GL's pixel centres are D3D's moved by half a pixel right and down.
  // What is left over moves edges that pass through pixel centres off them, so that the pixel
  // goes to the triangle on its right (or, for a horizontal edge, below), as D3D's top-left rule
  // has it: a little more in x than in y, so that x decides for every edge but the flattest.
  constexpr float kShiftX = 0.5f - 1.0f / 32.0f;
  constexpr float kShiftY = 0.5f - 1.0f / 128.0f;
  std::array<float, 4> toClip{};
  if (key.rhw) {
    toClip = {2.0f / w, -2.0f / h, -1.0f + 2.0f * (kShiftX - static_cast<float>(vp.X)) / w,
              1.0f - 2.0f * (kShiftY - static_cast<float>(vp.Y)) / h};
  } else {
    toClip = {2.0f * kShiftX / w, -2.0f * kShiftY / h, 0.0f, 0.0f};
  }
  if (std::memcmp(toClip.data(), p.toClipValue.data(), sizeof toClip) != 0) {
    glUniform4fv(p.toClip, 1, toClip.data());
    p.toClipValue = toClip;
  }
  std::uint64_t view = d.ChangeCount(Change::kView);
  std::uint64_t world = d.ChangeCount(Change::kWorld);
  if (!key.rhw) {
    if (view != matricesView_ || world != matricesWorld_) {
      worldView_ = Multiply(d.Transform(TransformSlot(D3DTS_WORLD)), d.Transform(TransformSlot(D3DTS_VIEW)));
      normalMatrix_ = InverseTranspose3(worldView_);
      matricesView_ = view;
      matricesWorld_ = world;
    }
    if (view != p.view || world != p.world) {
      glUniformMatrix4fv(p.worldView, 1, GL_FALSE, worldView_.data());
      if (p.normalMatrix >= 0) glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, normalMatrix_.data());
      p.view = view;
      p.world = world;
    }
    std::uint64_t projection = d.ChangeCount(Change::kProjection);
    if (projection != p.projectionSeen) {
      const D3DMATRIX& m = d.Transform(TransformSlot(D3DTS_PROJECTION));
      glUniformMatrix4fv(p.projection, 1, GL_FALSE, &m.m[0][0]);
      p.projectionSeen = projection;
    }
  }
  if (key.lighting) {
    std::uint64_t lights = d.ChangeCount(Change::kLights);
    if (lights != lightsSeen_ || view != lightsView_) {
      const D3DMATRIX& v = d.Transform(TransformSlot(D3DTS_VIEW));
      unsigned i = 0;
      for (DWORD index : d.EnabledLights()) {
        if (i == kFixedLights) break;
        const D3DLIGHT9& l = d.Lights().at(index);
        float* o = &lightData_[static_cast<std::size_t>(i) * 28];
        Colour(l.Diffuse, o);
        Colour(l.Specular, o + 4);
        Colour(l.Ambient, o + 8);
        Transform(v, l.Position.x, l.Position.y, l.Position.z, 1.0f, o + 12);
        o[15] = 1.0f;
        Transform(v, l.Direction.x, l.Direction.y, l.Direction.z, 0.0f, o + 16);
        Normalise(o + 16);
        if (l.Type == D3DLIGHT_DIRECTIONAL)
          for (int c = 16; c < 19; ++c) o[c] = -o[c];  // towards the light
        o[19] = 0.0f;
        o[20] = l.Attenuation0;
        o[21] = l.Attenuation1;
        o[22] = l.Attenuation2;
        o[23] = l.Range;
        o[24] = std::cos(l.Theta / 2.0f);
        o[25] = std::cos(l.Phi / 2.0f);
        o[26] = l.Falloff;
        o[27] = 0.0f;
        ++i;
      }
      lightsSeen_ = lights;
      lightsView_ = view;
    }
    if ((lights != p.lights || view != p.lightsView) && p.light >= 0) {
      glUniform4fv(p.light, 7 * key.lightCount, lightData_.data());
      p.lights = lights;
      p.lightsView = view;
    }
    std::uint64_t material = d.ChangeCount(Change::kMaterial);
    if (material != p.materialSeen) {
      const D3DMATERIAL9& m = d.Material();
      float values[16];
      Colour(m.Diffuse, values);
      Colour(m.Ambient, values + 4);
      Colour(m.Specular, values + 8);
      Colour(m.Emissive, values + 12);
      glUniform4fv(p.material, 4, values);
      if (p.power >= 0) glUniform1f(p.power, m.Power);
      p.materialSeen = material;
    }
  }
  std::uint64_t states = d.StateSerial();
  if (states != p.states) {
    float colour[4];
    if (p.globalAmbient >= 0) {
      Colour(d.RenderState(D3DRS_AMBIENT), colour);
      glUniform4fv(p.globalAmbient, 1, colour);
    }
    Colour(d.RenderState(D3DRS_TEXTUREFACTOR), colour);
    if (p.textureFactor >= 0) glUniform4fv(p.textureFactor, 1, colour);
    if (p.alphaRef >= 0) glUniform1f(p.alphaRef, static_cast<float>(d.RenderState(D3DRS_ALPHAREF) & 0xFF));
    p.states = states;
  }
  std::uint64_t stages = d.ChangeCount(Change::kStages);
  if (stages != p.stages && p.stageConstant >= 0) {
    float constants[4 * kFixedStages];
    for (unsigned i = 0; i < kFixedStages; ++i) Colour(d.TextureStageState(i, D3DTSS_CONSTANT), constants + 4 * i);
    glUniform4fv(p.stageConstant, kFixedStages, constants);
    p.stages = stages;
  }
}

void FixedFunction::BindVertices(const DrawRequest& r) {
  glBindVertexArray(vao_);
  if (r.vertexBuffer != boundVertices_ || r.offset != boundOffset_ || r.stride != boundStride_ ||
      r.fvf != boundFvf_) {
    const FvfLayout& l = *r.layout;
    auto stride = static_cast<GLsizei>(r.stride);
    auto at = [&](int offset) {
      return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(r.offset) + static_cast<std::uintptr_t>(offset));
    };
    glBindBuffer(GL_ARRAY_BUFFER, r.vertexBuffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, l.positionComponents, GL_FLOAT, GL_FALSE, stride, at(0));
    auto optional = [&](GLuint location, int offset, GLint size, GLenum type, GLboolean normalise) {
      if (offset < 0) {
        glDisableVertexAttribArray(location);
        return;
      }
      glEnableVertexAttribArray(location);
      glVertexAttribPointer(location, size, type, normalise, stride, at(offset));
    };
    optional(1, l.normal, 3, GL_FLOAT, GL_FALSE);
    // A D3DCOLOR is B, G, R, A in memory: GL_BGRA hands the shader red, green, blue, alpha.
    optional(2, l.diffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE);
    optional(3, l.specular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE);
    for (int i = 0; i < 8; ++i) {
      optional(static_cast<GLuint>(4 + i), i < l.texCount ? l.texOffset[static_cast<std::size_t>(i)] : -1,
               l.texComponents[static_cast<std::size_t>(i)], GL_FLOAT, GL_FALSE);
    }
    boundVertices_ = r.vertexBuffer;
    boundOffset_ = r.offset;
    boundStride_ = r.stride;
    boundFvf_ = r.fvf;
  }
  if (r.indexed && r.indexBuffer != boundIndices_) {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.indexBuffer);
    boundIndices_ = r.indexBuffer;
  }
}

bool FixedFunction::Draw(const DrawRequest& r) {
  ProgramKey key = KeyFor(*r.layout);
  Program* p = lastProgram_;
  if (p == nullptr || !KeyEqual{}(key, lastKey_)) {
    p = ProgramFor(key);
    if (p == nullptr) return false;
    lastKey_ = key;
    lastProgram_ = p;
  }
  glUseProgram(p->name);
  SendUniforms(*p, key);
  for (unsigned i = 0; i < key.stageCount; ++i) {
    if (key.stages[i].texture != 1) continue;
    glActiveTexture(GL_TEXTURE0 + i);
    glBindTexture(GL_TEXTURE_2D, device_->TextureAt(i)->Name());
  }
  glActiveTexture(GL_TEXTURE0);
  bool points = r.mode == GL_POINTS || device_->RenderState(D3DRS_FILLMODE) == D3DFILL_POINT;
  if (points) {
    auto size = [&](D3DRENDERSTATETYPE s) {
      DWORD bits = device_->RenderState(s);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    };
    float pointSize = std::fmin(std::fmax(size(D3DRS_POINTSIZE), size(D3DRS_POINTSIZE_MIN)), size(D3DRS_POINTSIZE_MAX));
    glPointSize(std::fmax(pointSize, 1.0f));
  }
  BindVertices(r);
  if (r.indexed) {
    GLenum type = r.indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    glDrawElementsBaseVertex(r.mode, static_cast<GLsizei>(r.count), type,
                             reinterpret_cast<const void*>(static_cast<std::uintptr_t>(r.first) * r.indexSize),
                             r.baseVertex);
  } else {
    glDrawArrays(r.mode, static_cast<GLint>(r.first), static_cast<GLsizei>(r.count));
  }
  glBindVertexArray(0);
  return true;
}

}  // namespace zr::d3d9
