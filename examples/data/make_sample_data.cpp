// Makes the sample programs' data in the folder given: crate.png (the boxes' texture),
// planet.png and ring_planet.x (a textured planet in a translucent ring, as a text .X file with
// two materials).
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "canvas.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

using Rgb = std::array<double, 3>;

Rgb Mix(Rgb a, Rgb b, double t) { return {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t}; }

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Value noise on an integer lattice, smooth between the points; `wrap` columns repeat so that
// the picture closes round a sphere.
double Lattice(int x, int y, int wrap) {
  x = ((x % wrap) + wrap) % wrap;
  std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double Noise(double x, double y, int wrap) {
  const int x0 = static_cast<int>(std::floor(x));
  const int y0 = static_cast<int>(std::floor(y));
  double fx = x - x0, fy = y - y0;
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  const double a = Lattice(x0, y0, wrap), b = Lattice(x0 + 1, y0, wrap);
  const double c = Lattice(x0, y0 + 1, wrap), d = Lattice(x0 + 1, y0 + 1, wrap);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

double Fractal(double x, double y, int wrap) {
  double sum = 0, amplitude = 0.5;
  for (int octave = 0; octave < 5; ++octave) {
    sum += Noise(x, y, wrap) * amplitude;
    x *= 2;
    y *= 2;
    wrap *= 2;
    amplitude *= 0.5;
  }
  return sum;
}

void Put(std::vector<std::uint8_t>& rgba, int width, int x, int y, Rgb c) {
  std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
  for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(std::lround(Clamp01(c[k]) * 255));
  p[3] = 255;
}

// Planks inside a frame of darker boards with a diagonal brace.
bool WriteCrate(const std::string& path) {
  constexpr int kSize = 256;
  std::vector<std::uint8_t> rgba(kSize * kSize * 4);
  const Rgb light{0.78, 0.58, 0.34}, dark{0.52, 0.35, 0.18}, nail{0.25, 0.25, 0.27};
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const double grain = Fractal(x / 64.0, y / 6.0, 4);
      const bool frame = x < 28 || y < 28 || x >= kSize - 28 || y >= kSize - 28;
      const double diagonal = std::fabs(static_cast<double>(x) - y) / std::sqrt(2.0);
      const bool brace = !frame && diagonal < 16;
      Rgb c = Mix(light, dark, 0.35 + 0.5 * grain);
      if (frame || brace) c = Mix(dark, light, 0.2 + 0.4 * grain);
      if (!frame && !brace && (y - 28) % 50 < 2) c = Mix(c, Rgb{0.2, 0.12, 0.05}, 0.8);  // gaps between planks
      if ((frame && (x % (kSize - 28) < 2 || y % (kSize - 28) < 2)) || (brace && diagonal > 14))
        c = Mix(c, Rgb{0.15, 0.09, 0.04}, 0.7);  // board edges
      for (int cx : {14, kSize - 14})
        for (int cy : {14, kSize - 14})
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < 20) c = nail;
      Put(rgba, kSize, x, y, c);
    }
  }
  return pic::write_png(path, kSize, kSize, rgba);
}

// Oceans, land, deserts and ice, wrapping round in u.
bool WritePlanet(const std::string& path) {
  constexpr int kWidth = 512, kHeight = 256;
  std::vector<std::uint8_t> rgba(kWidth * kHeight * 4);
  const Rgb deep{0.05, 0.16, 0.42}, shallow{0.12, 0.42, 0.65}, green{0.22, 0.5, 0.2}, sand{0.76, 0.66, 0.42},
      rock{0.45, 0.38, 0.32}, ice{0.93, 0.96, 1.0};
  for (int y = 0; y < kHeight; ++y) {
    const double latitude = std::fabs((y + 0.5) / kHeight - 0.5) * 2;  // 0 at the equator, 1 at a pole
    for (int x = 0; x < kWidth; ++x) {
      const double height = Fractal(x / 64.0, y / 64.0, kWidth / 64);
      Rgb c;
      if (height < 0.5) {
        c = Mix(deep, shallow, Clamp01((height - 0.3) / 0.2));
      } else {
        const double dryness = Fractal(x / 32.0 + 17, y / 32.0 + 5, kWidth / 32);
        c = Mix(green, sand, Clamp01((dryness - 0.45) * 4) * (1 - latitude));
        c = Mix(c, rock, Clamp01((height - 0.62) * 5));
      }
      c = Mix(c, ice, Clamp01((latitude - 0.78) * 8 + (height - 0.5) * 2));
      Put(rgba, kWidth, x, y, c);
    }
  }
  return pic::write_png(path, kWidth, kHeight, rgba);
}

struct Vertex {
  double x, y, z, nx, ny, nz, u, v;
};
using Face = std::array<int, 3>;

struct Part {
  std::vector<Vertex> vertices;
  std::vector<Face> faces;
};

// Front faces run clockwise seen from outside: their cross product points away from `inside`.
void AddFace(Part& part, int a, int b, int c, const std::array<double, 3>& inside) {
  const Vertex &p = part.vertices[a], &q = part.vertices[b], &r = part.vertices[c];
  const double ux = q.x - p.x, uy = q.y - p.y, uz = q.z - p.z;
  const double vx = r.x - p.x, vy = r.y - p.y, vz = r.z - p.z;
  const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
  const double ox = (p.x + q.x + r.x) / 3 - inside[0], oy = (p.y + q.y + r.y) / 3 - inside[1],
               oz = (p.z + q.z + r.z) / 3 - inside[2];
  if (nx * ox + ny * oy + nz * oz >= 0) part.faces.push_back({a, b, c});
  else part.faces.push_back({a, c, b});
}

Part Sphere(double radius, int slices, int stacks) {
  Part part;
  for (int i = 0; i <= stacks; ++i) {
    const double theta = kPi * i / stacks;
    for (int j = 0; j <= slices; ++j) {
      const double phi = 2 * kPi * j / slices;
      const double nx = std::sin(theta) * std::cos(phi), ny = std::cos(theta), nz = std::sin(theta) * std::sin(phi);
      part.vertices.push_back({radius * nx, radius * ny, radius * nz, nx, ny, nz, static_cast<double>(j) / slices,
                               static_cast<double>(i) / stacks});
    }
  }
  const int row = slices + 1;
  for (int i = 0; i < stacks; ++i) {
    for (int j = 0; j < slices; ++j) {
      const int a = i * row + j, b = a + 1, c = a + row, d = c + 1;
      if (i != 0) AddFace(part, a, b, d, {0, 0, 0});           // none at the north pole's point
      if (i != stacks - 1) AddFace(part, a, d, c, {0, 0, 0});  // nor at the south pole's
    }
  }
  return part;
}

// A flat ring round the y axis, tilted about x by `tilt`.
Part Torus(double major, double minor, int segments, int sides, double tilt) {
  Part part;
  const double ct = std::cos(tilt), st = std::sin(tilt);
  auto turn = [&](double y, double z, double& ty, double& tz) {
    ty = y * ct - z * st;
    tz = y * st + z * ct;
  };
  for (int i = 0; i <= segments; ++i) {
    const double phi = 2 * kPi * i / segments;
    for (int j = 0; j <= sides; ++j) {
      const double psi = 2 * kPi * j / sides;
      const double nx = std::cos(psi) * std::cos(phi), ny = std::sin(psi), nz = std::cos(psi) * std::sin(phi);
      const double x = (major + minor * std::cos(psi)) * std::cos(phi), y = minor * ny,
                   z = (major + minor * std::cos(psi)) * std::sin(phi);
      Vertex v{x, 0, 0, nx, 0, 0, static_cast<double>(i) / segments, static_cast<double>(j) / sides};
      turn(y, z, v.y, v.z);
      turn(ny, nz, v.ny, v.nz);
      part.vertices.push_back(v);
    }
  }
  const int row = sides + 1;
  for (int i = 0; i < segments; ++i) {
    for (int j = 0; j < sides; ++j) {
      const int a = i * row + j, b = a + 1, c = a + row, d = c + 1;
      // Outside is away from the ring's own centre line at this segment.
      const double phi = 2 * kPi * (i + 0.5) / segments;
      std::array<double, 3> centre{major * std::cos(phi), 0, major * std::sin(phi)};
      double cy, cz;
      turn(0, centre[2], cy, cz);
      centre[1] = cy;
      centre[2] = cz;
      AddFace(part, a, b, d, centre);
      AddFace(part, a, d, c, centre);
    }
  }
  return part;
}

void WriteMesh(std::FILE* out, const char* name, const Part& part, const char* material) {
  std::fprintf(out, " Mesh %s {\n  %zu;\n", name, part.vertices.size());
  for (std::size_t i = 0; i < part.vertices.size(); ++i) {
    const Vertex& v = part.vertices[i];
    std::fprintf(out, "  %.6f;%.6f;%.6f;%s\n", v.x, v.y, v.z, i + 1 < part.vertices.size() ? "," : ";");
  }
  std::fprintf(out, "  %zu;\n", part.faces.size());
  auto faces = [&]() {
    for (std::size_t i = 0; i < part.faces.size(); ++i)
      std::fprintf(out, "  3;%d,%d,%d;%s\n", part.faces[i][0], part.faces[i][1], part.faces[i][2],
                   i + 1 < part.faces.size() ? "," : ";");
  };
  faces();
  std::fprintf(out, "  MeshNormals {\n  %zu;\n", part.vertices.size());
  for (std::size_t i = 0; i < part.vertices.size(); ++i) {
    const Vertex& v = part.vertices[i];
    std::fprintf(out, "  %.6f;%.6f;%.6f;%s\n", v.nx, v.ny, v.nz, i + 1 < part.vertices.size() ? "," : ";");
  }
  std::fprintf(out, "  %zu;\n", part.faces.size());
  faces();
  std::fprintf(out, "  }\n  MeshTextureCoords {\n  %zu;\n", part.vertices.size());
  for (std::size_t i = 0; i < part.vertices.size(); ++i) {
    const Vertex& v = part.vertices[i];
    std::fprintf(out, "  %.6f;%.6f;%s\n", v.u, v.v, i + 1 < part.vertices.size() ? "," : ";");
  }
  std::fprintf(out, "  }\n  MeshMaterialList {\n  1;\n  %zu;\n", part.faces.size());
  for (std::size_t i = 0; i < part.faces.size(); ++i)
    std::fprintf(out, "  0%s\n", i + 1 < part.faces.size() ? "," : ";");
  std::fprintf(out, "  {%s}\n  }\n }\n", material);
}

bool WriteModel(const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (out == nullptr) {
    std::perror(path.c_str());
    return false;
  }
  std::fprintf(out,
               "xof 0303txt 0032\n\n"
               "Material PlanetSkin {\n 1.000000;1.000000;1.000000;1.000000;;\n 24.000000;\n"
               " 0.300000;0.300000;0.300000;;\n 0.000000;0.000000;0.000000;;\n"
               " TextureFilename {\n  \"planet.png\";\n }\n}\n\n"
               "Material RingGlass {\n 0.450000;0.750000;1.000000;0.450000;;\n 40.000000;\n"
               " 0.900000;0.900000;0.900000;;\n 0.050000;0.100000;0.200000;;\n}\n\n"
               "Frame Model {\n FrameTransformMatrix {\n"
               "  1.000000,0.000000,0.000000,0.000000,0.000000,1.000000,0.000000,0.000000,"
               "0.000000,0.000000,1.000000,0.000000,0.000000,0.000000,0.000000,1.000000;;\n }\n");
  WriteMesh(out, "Planet", Sphere(1.0, 48, 24), "PlanetSkin");
  WriteMesh(out, "Ring", Torus(1.75, 0.32, 64, 16, 0.35), "RingGlass");
  std::fprintf(out, "}\n");
  return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const bool written =
      WriteCrate(folder + "/crate.png") && WritePlanet(folder + "/planet.png") && WriteModel(folder + "/ring_planet.x");
  return written ? 0 : 1;
}
