// Checks the game's generated data: the pictures' sizes, transparency and colours, the music's
// file structure and length, the shot sound's format and level, and that the generators make
// the same bytes again when built and run differently.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string kData = ZR_DATA_DIR;

std::vector<uint8_t> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Image {
  int width = 0, height = 0;
  bool has_alpha = false;
  std::vector<uint8_t> rgba;
  const uint8_t* at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  int alpha(int x, int y) const { return at(x, y)[3]; }
};

Image load_png(const std::string& name) {
  Image img;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  const std::string path = kData + "/textures/" + name;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    ADD_FAILURE() << path << ": " << png.message;
    return img;
  }
  img.has_alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  png.format = PNG_FORMAT_RGBA;
  img.width = static_cast<int>(png.width);
  img.height = static_cast<int>(png.height);
  img.rgba.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, img.rgba.data(), 0, nullptr)) {
    ADD_FAILURE() << path << ": " << png.message;
    img = {};
  }
  return img;
}

// The mean hue in degrees of the visible, coloured pixels, each weighted by its saturation.
double mean_hue(const Image& img) {
  double sx = 0, sy = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const uint8_t* p = img.at(x, y);
      if (p[3] < 128) continue;
      const double r = p[0] / 255.0, g = p[1] / 255.0, b = p[2] / 255.0;
      const double hi = std::max({r, g, b}), lo = std::min({r, g, b}), c = hi - lo;
      if (c < 0.15) continue;
      double h = hi == r ? std::fmod((g - b) / c + 6, 6) : hi == g ? (b - r) / c + 2 : (r - g) / c + 4;
      h *= M_PI / 3;
      sx += c * std::cos(h);
      sy += c * std::sin(h);
    }
  return std::fmod(std::atan2(sy, sx) * 180 / M_PI + 360, 360);
}

bool corners_clear(const Image& img) {
  return img.alpha(0, 0) == 0 && img.alpha(img.width - 1, 0) == 0 && img.alpha(0, img.height - 1) == 0 &&
         img.alpha(img.width - 1, img.height - 1) == 0;
}

TEST(Pictures, HaveTheirSizesAndAnAlphaChannel) {
  struct Want {
    const char* name;
    int min_width, max_width, min_height, max_height;
  };
  const Want wants[] = {{"velkor1.png", 40, 74, 100, 100},      {"velkor2.png", 40, 74, 100, 100},
                        {"emblem.PNG", 374, 374, 360, 360},      {"shoot.PNG", 12, 32, 4, 12},
                        {"win_player_1.PNG", 600, 600, 500, 500}, {"win_player_2.PNG", 600, 600, 500, 500}};
  for (const Want& w : wants) {
    SCOPED_TRACE(w.name);
    const Image img = load_png(w.name);
    EXPECT_TRUE(img.has_alpha);
    EXPECT_GE(img.width, w.min_width);
    EXPECT_LE(img.width, w.max_width);
    EXPECT_GE(img.height, w.min_height);
    EXPECT_LE(img.height, w.max_height);
  }
}

TEST(Pictures, FiguresStandOnClearGroundAndFaceEachOther) {
  for (const char* name : {"velkor1.png", "velkor2.png"}) {
    SCOPED_TRACE(name);
    const Image img = load_png(name);
    ASSERT_EQ(img.height, 100);
    EXPECT_TRUE(corners_clear(img));
    int solid = 0, top = img.height, bottom = -1;
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        if (img.alpha(x, y) == 255) ++solid, top = std::min(top, y), bottom = std::max(bottom, y);
    // A figure, not a speck or a filled box, using its full height.
    EXPECT_GT(solid, img.width * img.height / 5);
    EXPECT_LT(solid, img.width * img.height * 3 / 4);
    EXPECT_LE(top, 4);
    EXPECT_GE(bottom, 95);
  }
  // What fires reaches out of the upper body towards the other player, much further from the
  // figure's middle than anything on its back.
  const auto front_minus_back = [](const Image& img) {
    double middle = 0;
    int n = 0, left = img.width, right = -1;
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        if (img.alpha(x, y) == 255) {
          middle += x, ++n;
          if (y >= 34 && y < 45) left = std::min(left, x), right = std::max(right, x);
        }
    middle /= std::max(n, 1);
    return (right - middle) - (middle - left);
  };
  EXPECT_GT(front_minus_back(load_png("velkor1.png")), 8);
  EXPECT_LT(front_minus_back(load_png("velkor2.png")), -8);
}

TEST(Pictures, FiguresAreWarmAndCool) {
  const double left = mean_hue(load_png("velkor1.png")), right = mean_hue(load_png("velkor2.png"));
  EXPECT_TRUE(left >= 330 || left <= 45) << left;
  EXPECT_TRUE(right >= 180 && right <= 250) << right;
  const double apart = std::abs(left - right);
  EXPECT_GT(std::min(apart, 360 - apart), 120);
}

TEST(Pictures, EmblemIsADiscWithSoftEdges) {
  const Image img = load_png("emblem.PNG");
  ASSERT_EQ(img.width, 374);
  EXPECT_TRUE(corners_clear(img));
  EXPECT_EQ(img.alpha(187, 180), 255);
  // Along a radius: opaque well inside, fading through partial alpha, clear beyond the disc.
  int partial = 0;
  for (int x = 187; x < 374; ++x) {
    const int a = img.alpha(x, 180);
    if (x < 187 + 150) {
      EXPECT_GT(a, 200) << x;
    }
    if (x >= 187 + 180) {
      EXPECT_EQ(a, 0) << x;
    }
    if (a > 0 && a < 255) ++partial;
  }
  EXPECT_GE(partial, 5);
}

TEST(Pictures, ShotIsBrightAndTheSameBothWays) {
  const Image img = load_png("shoot.PNG");
  ASSERT_GT(img.width, 0);
  EXPECT_TRUE(corners_clear(img));
  const uint8_t* middle = img.at(img.width / 2, img.height / 2);
  EXPECT_EQ(middle[3], 255);
  EXPECT_GT(middle[0] + middle[1], 460);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width / 2; ++x)
      for (int k = 0; k < 4; ++k)
        ASSERT_EQ(img.at(x, y)[k], img.at(img.width - 1 - x, y)[k]) << x << "," << y;
}

TEST(Pictures, WinScreensAreOpaquePanelsInTheWinnersColours) {
  const Image one = load_png("win_player_1.PNG"), two = load_png("win_player_2.PNG");
  for (const Image* img : {&one, &two}) {
    ASSERT_EQ(img->width, 600);
    EXPECT_TRUE(corners_clear(*img));
    size_t opaque = 0, light = 0;
    for (int y = 0; y < img->height; ++y)
      for (int x = 0; x < img->width; ++x) {
        opaque += img->alpha(x, y) == 255;
        // Light grey letters in the rows of the keys' lines.
        const uint8_t* p = img->at(x, y);
        light += y > 370 && p[0] > 180 && p[1] > 180 && p[2] > 180;
      }
    EXPECT_GT(opaque, img->rgba.size() / 4 * 95 / 100);
    EXPECT_GT(light, 1500u);
  }
  const double h1 = mean_hue(one), h2 = mean_hue(two);
  EXPECT_TRUE(h1 >= 330 || h1 <= 45) << h1;
  EXPECT_TRUE(h2 >= 180 && h2 <= 250) << h2;
}

// ---- Music --------------------------------------------------------------------------------

struct Cursor {
  const std::vector<uint8_t>& b;
  size_t at;
  size_t end;
  bool ok() const { return at <= end; }
  uint32_t byte() { return at < end ? b[at++] : (at = end + 1, 0); }
  uint32_t be(int n) {
    uint32_t v = 0;
    while (n-- > 0) v = v << 8 | byte();
    return v;
  }
  uint32_t varlen() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const uint32_t c = byte();
      v = v << 7 | (c & 0x7F);
      if ((c & 0x80) == 0) return v;
    }
    at = end + 1;  // longer than the format allows
    return 0;
  }
};

struct Song {
  int format = -1, division = 0;
  size_t tracks = 0;
  std::map<uint32_t, uint32_t> tempo;  // tick -> microseconds per quarter
  uint32_t last_tick = 0;
  std::map<int, int> notes, programs;  // by channel
  std::vector<std::string> names;
  int unmatched = 0;
};

Song parse_midi(const std::vector<uint8_t>& b) {
  Song song;
  Cursor c{b, 0, b.size()};
  if (c.be(4) != 0x4D546864 || c.be(4) != 6) return song;
  song.format = static_cast<int>(c.be(2));
  const uint32_t declared = c.be(2);
  song.division = static_cast<int>(c.be(2));
  while (c.ok() && c.at < b.size()) {
    const uint32_t id = c.be(4), length = c.be(4);
    if (!c.ok() || id != 0x4D54726B || c.at + length > b.size()) return song.format = -2, song;
    Cursor t{b, c.at, c.at + length};
    uint32_t tick = 0, status = 0;
    bool ended = false;
    std::map<int, int> sounding;  // channel * 128 + key -> notes on
    while (!ended && t.ok() && t.at < t.end) {
      tick += t.varlen();
      uint32_t first = t.byte();
      if (first & 0x80) status = first, first = first < 0xF0 ? t.byte() : 0;
      else if (status == 0 || status >= 0xF0) return song.format = -3, song;  // running status misused
      const int channel = status & 0x0F;
      switch (status & 0xF0) {
        case 0x80:
        case 0x90: {
          const uint32_t velocity = t.byte();
          int& on = sounding[channel * 128 + static_cast<int>(first)];
          if ((status & 0xF0) == 0x90 && velocity > 0) {
            ++on;
            ++song.notes[channel];
          } else if (on == 0) {
            ++song.unmatched;
          } else {
            --on;
          }
          break;
        }
        case 0xA0: case 0xB0: case 0xE0: t.byte(); break;
        case 0xC0: song.programs[channel] = static_cast<int>(first); break;
        case 0xD0: break;
        default: {
          // Meta events and system exclusive messages, which also end any running status.
          const uint32_t type = status == 0xFF ? t.byte() : 0, size = t.varlen();
          if (!t.ok() || t.at + size > t.end) return song.format = -3, song;
          const size_t data = t.at;
          if (status == 0xFF && type == 0x51 && size == 3) song.tempo[tick] = t.be(3);
          if (status == 0xFF && type == 0x03) song.names.emplace_back(b.begin() + data, b.begin() + data + size);
          t.at = data + size;
          ended = status == 0xFF && type == 0x2F;
          status = 0;
        }
      }
    }
    for (const auto& [key, n] : sounding) song.unmatched += n;
    if (!ended || t.at != t.end) return song.format = -4, song;
    song.last_tick = std::max(song.last_tick, tick);
    ++song.tracks;
    c.at += length;
  }
  if (song.tracks != declared) song.format = -5;
  return song;
}

double seconds(const Song& s) {
  double total = 0;
  uint32_t tick = 0, tempo = 500000;
  for (const auto& [at, t] : s.tempo) {
    const uint32_t upto = std::min(at, s.last_tick);
    total += double(upto - tick) * tempo / s.division / 1e6;
    tick = upto, tempo = t;
  }
  return total + double(s.last_tick - tick) * tempo / s.division / 1e6;
}

TEST(Music, IsAMultiTrackStandardMidiFileOfOverAMinute) {
  const Song song = parse_midi(read_bytes(kData + "/sfx/open.mid"));
  ASSERT_EQ(song.format, 1);
  EXPECT_GE(song.tracks, 4u);
  ASSERT_GT(song.division, 0);
  ASSERT_LT(song.division, 0x8000);  // ticks per quarter, not SMPTE
  EXPECT_EQ(song.unmatched, 0) << "notes switched on and off must pair up";
  const double length = seconds(song);
  EXPECT_GT(length, 60);
  EXPECT_LT(length, 120);
  EXPECT_GT(song.notes.count(9), 0u) << "drums on channel 10";
  EXPECT_GE(song.programs.size(), 4u);
  std::cout << "open.mid: " << song.tracks << " tracks, " << length << " s, division " << song.division << "\n";
  for (const std::string& name : song.names) std::cout << "  track " << name << "\n";
  for (const auto& [channel, n] : song.notes)
    std::cout << "  channel " << channel + 1 << ": program "
              << (song.programs.count(channel) ? std::to_string(song.programs.at(channel)) : "-") << ", "
              << n << " notes\n";
}

TEST(Music, ReaderRejectsBrokenFiles) {
  // The reader itself must catch what it checks for: a cut-off file and a note left on.
  std::vector<uint8_t> file = read_bytes(kData + "/sfx/open.mid");
  ASSERT_GT(file.size(), 100u);
  std::vector<uint8_t> cut(file.begin(), file.end() - 3);  // loses the last End of Track
  EXPECT_LT(parse_midi(cut).format, 0);
  const std::vector<uint8_t> hanging = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 1, 0xE0,
                                        'M', 'T', 'r', 'k', 0, 0, 0, 8, 0, 0x90, 60, 100, 0, 0xFF, 0x2F, 0};
  const Song s = parse_midi(hanging);
  EXPECT_EQ(s.format, 1);
  EXPECT_EQ(s.unmatched, 1);
}

// ---- The shot's sound ---------------------------------------------------------------------

TEST(Sound, ShotIsShortQuietAtTheEdgesAndBelowFullScale) {
  const std::vector<uint8_t> b = read_bytes(kData + "/sfx/BFIRE.WAV");
  ASSERT_GE(b.size(), 44u);
  const auto u16 = [&](size_t at) { return b[at] | b[at + 1] << 8; };
  const auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | u16(at + 2) << 16); };
  ASSERT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  ASSERT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(u32(4), b.size() - 8);
  EXPECT_EQ(u16(20), 1);  // PCM
  EXPECT_EQ(u16(22), 1);  // mono
  const uint32_t rate = u32(24);
  EXPECT_TRUE(rate == 44100 || rate == 22050) << rate;
  EXPECT_EQ(u16(34), 16);
  ASSERT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  ASSERT_EQ(u32(40), b.size() - 44);
  std::vector<int> s;
  for (size_t at = 44; at + 1 < b.size(); at += 2) s.push_back(static_cast<int16_t>(u16(at)));
  const double length = static_cast<double>(s.size()) / rate;
  EXPECT_GE(length, 0.15);
  EXPECT_LE(length, 0.35);
  int peak = 0;
  for (int v : s) peak = std::max(peak, std::abs(v));
  EXPECT_LT(peak, 32767 * 0.8);  // headroom: -2 dBFS at most
  EXPECT_GT(peak, 32767 * 0.5);  // and not far below -3
  ASSERT_GT(s.size(), 100u);
  EXPECT_LT(std::abs(s.front()), 100);
  EXPECT_LT(std::abs(s.back()), 100);
  // No click: the first and last millisecond stay well below the peak.
  for (size_t i = 0; i < rate / 1000; ++i) {
    EXPECT_LT(std::abs(s[i]), peak / 2) << i;
    EXPECT_LT(std::abs(s[s.size() - 1 - i]), peak / 4) << i;
  }
}

// ---- Reproducibility ----------------------------------------------------------------------

// The generators built for this test (unoptimised, with the sanitizers) must make exactly the
// bytes that the build's own optimised generators made.
TEST(Generators, MakeTheSameBytesInAnyBuild) {
  const std::filesystem::path out = std::filesystem::absolute("again");
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  const auto run = [](const std::string& tool, const std::filesystem::path& target) {
    return std::system(("'" + tool + "' '" + target.string() + "'").c_str());
  };
  ASSERT_EQ(run(ZR_MAKE_PICTURES, out), 0);
  ASSERT_EQ(run(ZR_MAKE_MUSIC, out / "open.mid"), 0);
  ASSERT_EQ(run(ZR_MAKE_SOUND, out / "BFIRE.WAV"), 0);
  const std::pair<const char*, const char*> files[] = {
      {"textures", "velkor1.png"},      {"textures", "velkor2.png"},      {"textures", "emblem.PNG"},
      {"textures", "shoot.PNG"},        {"textures", "win_player_1.PNG"}, {"textures", "win_player_2.PNG"},
      {"sfx", "open.mid"},              {"sfx", "BFIRE.WAV"}};
  for (const auto& [folder, name] : files) {
    const std::vector<uint8_t> built = read_bytes(kData + "/" + folder + "/" + name);
    EXPECT_FALSE(built.empty()) << name;
    EXPECT_TRUE(built == read_bytes((out / name).string())) << name << " differs";
  }
}

}  // namespace
