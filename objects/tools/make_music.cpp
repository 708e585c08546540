// Composes the background music and writes it as a Standard MIDI File (format 1): a driving
// piece in A minor at 128 beats a minute, 44 bars (82.5 s) that end on the dominant so that the
// loop back to the start resolves. General MIDI instruments: a saw lead, a square arpeggio,
// strings, synth bass, brass stabs and drums.
// Usage: make_music <file.mid>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kTicksPerQuarter = 480;
constexpr int kBar = 4 * kTicksPerQuarter;
constexpr int kEighth = kTicksPerQuarter / 2;
constexpr int kSixteenth = kTicksPerQuarter / 4;
constexpr uint32_t kMicrosecondsPerQuarter = 468750;  // 128 beats a minute

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "make_music: %s\n", why.c_str());
  std::exit(1);
}

// ---- Harmony ------------------------------------------------------------------------------

struct Chord {
  int root;  // pitch class, C = 0
  bool minor;
  // Pitch classes of the triad.
  std::vector<int> tones() const { return {root, (root + (minor ? 3 : 4)) % 12, (root + 7) % 12}; }
};

Chord chord(std::string_view name) {
  static constexpr std::string_view kNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  const bool minor = name.ends_with('m');
  if (minor) name.remove_suffix(1);
  for (int pc = 0; pc < 12; ++pc)
    if (kNames[pc] == name) return {pc, minor};
  fail("unknown chord " + std::string(name));
}

// A section: its chords, one a bar, and how each part plays in it.
enum class Drums { Intro, Groove, Break, Outro };
struct Section {
  const char* name;
  std::vector<const char*> chords;
  Drums drums;
  const char* melody;  // nullptr: the lead rests
  bool arpeggio, stabs, walking_bass;
};

// Melodies are written as note:eighths pairs ("A4:2", "r:1" for a rest, "G#5:3"), bars
// separated by '|'; each bar must add up to eight eighths.
const char* const kThemeA =
    "A4:1 C5:1 E5:2 D5:1 C5:1 D5:1 E5:1 | F5:3 E5:1 C5:2 A4:2 | G4:1 C5:1 E5:2 D5:1 E5:1 G5:2 |"
    "G5:3 F5:1 E5:1 D5:1 B4:2 | A4:1 C5:1 E5:2 A5:2 G5:1 E5:1 | F5:2 A5:2 G5:1 F5:1 E5:1 C5:1 |"
    "E5:2 G5:2 C6:2 B5:1 G5:1 | B5:3 A5:1 G5:2 D5:2";
const char* const kThemeA2 =
    "A4:1 C5:1 E5:2 D5:1 C5:1 D5:1 E5:1 | F5:3 E5:1 C5:2 A4:2 | G4:1 C5:1 E5:2 D5:1 E5:1 G5:2 |"
    "G5:3 F5:1 E5:1 D5:1 B4:2 | E5:1 A5:1 C6:2 B5:1 A5:1 G5:1 A5:1 | F5:2 C6:2 A5:2 F5:2 |"
    "G5:1 E5:1 G5:1 C6:1 E6:2 D6:1 C6:1 | D6:4 B5:2 G5:2";
const char* const kThemeB =
    "C6:3 A5:1 F5:2 A5:2 | D6:3 B5:1 G5:2 B5:2 | E6:3 D6:1 B5:2 G5:2 | A5:6 r:2 |"
    "A5:2 C6:2 F6:3 E6:1 | D6:2 B5:2 G5:2 D6:2 | E6:3 D6:1 B5:2 G#5:2 | B5:4 G#5:2 E5:2";
const char* const kThemeOutro = "A5:4 E5:2 C5:2 | F5:4 A5:2 C6:2 | B5:2 D6:2 G5:2 B5:2 | G#5:3 B5:1 E6:4";

const std::vector<Section>& sections() {
  static const std::vector<Section> s = {
      {"Intro", {"Am", "F", "C", "G"}, Drums::Intro, nullptr, false, false, false},
      {"Theme A", {"Am", "F", "C", "G", "Am", "F", "C", "G"}, Drums::Groove, kThemeA, true, false, false},
      {"Theme B", {"F", "G", "Em", "Am", "F", "G", "E", "E"}, Drums::Groove, kThemeB, true, false, true},
      {"Theme A again", {"Am", "F", "C", "G", "Am", "F", "C", "G"}, Drums::Groove, kThemeA2, true, true, false},
      {"Break", {"Dm", "Am", "F", "E"}, Drums::Break, nullptr, true, false, false},
      {"Theme B again", {"F", "G", "Em", "Am", "F", "G", "E", "E"}, Drums::Groove, kThemeB, true, true, true},
      {"Turnaround", {"Am", "F", "G", "E"}, Drums::Outro, kThemeOutro, true, true, false},
  };
  return s;
}

// ---- Events and the file ------------------------------------------------------------------

struct Event {
  int tick;
  int order;  // at the same tick: meta first, then note-offs, then the rest
  std::vector<uint8_t> bytes;
};

struct Track {
  std::string name;
  int channel = 0;
  std::vector<Event> events;

  void meta(int tick, uint8_t type, std::vector<uint8_t> data) {
    std::vector<uint8_t> b{0xFF, type, static_cast<uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    events.push_back({tick, 0, std::move(b)});
  }
  void text(int tick, uint8_t type, std::string_view s) { meta(tick, type, {s.begin(), s.end()}); }
  void control(int tick, int number, int value) {
    events.push_back({tick, 2, {static_cast<uint8_t>(0xB0 | channel), static_cast<uint8_t>(number),
                                static_cast<uint8_t>(value)}});
  }
  void program(int tick, int number) {
    events.push_back({tick, 2, {static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(number)}});
  }
  void note(int tick, int length, int key, int velocity) {
    if (key < 0 || key > 127 || length <= 0) fail("note out of range");
    const auto k = static_cast<uint8_t>(key);
    const auto v = static_cast<uint8_t>(std::clamp(velocity, 1, 127));
    events.push_back({tick, 3, {static_cast<uint8_t>(0x90 | channel), k, v}});
    events.push_back({tick + length, 1, {static_cast<uint8_t>(0x80 | channel), k, 0x40}});
  }
};

void put_varlen(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t bytes[5];
  int n = 0;
  do {
    bytes[n++] = v & 0x7F;
    v >>= 7;
  } while (v != 0);
  while (n > 1) out.push_back(bytes[--n] | 0x80);
  out.push_back(bytes[0]);
}

void put_be(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back((v >> (8 * i)) & 0xFF);
}

std::vector<uint8_t> track_chunk(Track t, int end_tick) {
  std::stable_sort(t.events.begin(), t.events.end(), [](const Event& a, const Event& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  std::vector<uint8_t> body;
  int now = 0;
  for (const Event& e : t.events) {
    if (e.tick > end_tick) fail("an event after the end in track " + t.name);
    put_varlen(body, e.tick - now);
    body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    now = e.tick;
  }
  put_varlen(body, end_tick - now);
  body.insert(body.end(), {0xFF, 0x2F, 0x00});
  std::vector<uint8_t> chunk{'M', 'T', 'r', 'k'};
  put_be(chunk, static_cast<uint32_t>(body.size()), 4);
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

// ---- The parts ----------------------------------------------------------------------------

int note_number(std::string_view n) {
  static constexpr int kSteps[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (n.size() < 2 || n[0] < 'A' || n[0] > 'G') fail("bad note " + std::string(n));
  int pc = kSteps[n[0] - 'A'];
  size_t i = 1;
  if (n[i] == '#') ++pc, ++i;
  else if (n[i] == 'b') --pc, ++i;
  if (i + 1 != n.size() || n[i] < '0' || n[i] > '9') fail("bad note " + std::string(n));
  return 12 * (n[i] - '0' + 1) + pc;  // C4 = 60
}

// The lead: a melody line, phrased a little short, accented on the beats.
void play_melody(Track& t, int start, const char* melody) {
  std::string_view rest(melody);
  int bar = 0, in_bar = 0;
  while (!rest.empty()) {
    const size_t space = rest.find_first_not_of(' ');
    if (space == std::string_view::npos) break;
    rest.remove_prefix(space);
    if (rest[0] == '|') {
      if (in_bar != 8) fail("a melody bar that is not eight eighths long");
      ++bar, in_bar = 0;
      rest.remove_prefix(1);
      continue;
    }
    const size_t end = std::min(rest.find_first_of(" |"), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    const size_t colon = word.find(':');
    if (colon == std::string_view::npos) fail("a melody note without a length");
    const int eighths = std::atoi(std::string(word.substr(colon + 1)).c_str());
    if (eighths <= 0) fail("a melody note without a length");
    const std::string_view pitch = word.substr(0, colon);
    if (pitch != "r") {
      const int tick = start + bar * kBar + in_bar * kEighth;
      const int velocity = in_bar % 2 == 0 ? (in_bar % 4 == 0 ? 104 : 96) : 88;
      t.note(tick, eighths * kEighth - 24, note_number(pitch), velocity);
    }
    in_bar += eighths;
  }
  if (in_bar != 8) fail("a melody bar that is not eight eighths long");
}

// The chord's tones from `low` upwards, `count` of them.
std::vector<int> voicing(const Chord& c, int low, int count) {
  std::vector<int> keys;
  const std::vector<int> tones = c.tones();
  for (int k = low; static_cast<int>(keys.size()) < count; ++k)
    if (std::find(tones.begin(), tones.end(), k % 12) != tones.end()) keys.push_back(k);
  return keys;
}

// The bass's root between E1 and D#2.
int bass_root(const Chord& c) { return 28 + (c.root - 4 + 12) % 12; }

void play_bar(Track& arp, Track& pad, Track& bass, Track& brass, const Section& s, const Chord& c,
              int start, int bar_in_section) {
  // Strings: the triad held through the bar, close around middle C.
  for (int key : voicing(c, 55, 3)) pad.note(start, kBar - 10, key, s.drums == Drums::Break ? 84 : 64);

  // Bass.
  const int root = bass_root(c);
  if (s.drums == Drums::Break) {
    bass.note(start, kBar - 30, root, 90);
  } else if (s.drums == Drums::Intro && bar_in_section < 2) {
    for (int q = 0; q < 4; ++q) bass.note(start + q * kTicksPerQuarter, kEighth, root, q == 0 ? 110 : 96);
  } else {
    // Driving eighths with an octave leap; in the B themes the last two climb through the
    // chord's third and fifth.
    static constexpr int kLine[] = {0, 0, 12, 0, 0, 0, 12, 7};
    for (int e = 0; e < 8; ++e) {
      int key = root + kLine[e];
      if (s.walking_bass && e >= 6) key = root + (e == 7 ? 7 : c.minor ? 3 : 4);
      bass.note(start + e * kEighth, kEighth - 30, key, e % 2 == 0 ? 110 : 92);
    }
  }

  // Arpeggio: sixteenths up and down the chord across two octaves.
  if (s.arpeggio) {
    const std::vector<int> keys = voicing(c, 64, 6);
    static constexpr int kShape[] = {0, 1, 2, 3, 4, 5, 4, 3, 2, 1, 2, 3, 4, 3, 2, 1};
    for (int i = 0; i < 16; ++i)
      arp.note(start + i * kSixteenth, kSixteenth - 20, keys[kShape[i]], i % 4 == 0 ? 78 : 58);
  }

  // Brass: a stab on the one and on the and of two.
  if (s.stabs) {
    const std::vector<int> keys = voicing(c, 60, 4);
    for (int at : {0, 3 * kEighth})
      for (int key : keys) brass.note(start + at, kEighth - 40, key, at == 0 ? 100 : 88);
  }
}

// GM drum keys.
enum : int { Kick = 36, Snare = 38, Clap = 39, HatClosed = 42, HatOpen = 46, TomLow = 45,
             TomMid = 47, TomHigh = 50, Crash = 49, Ride = 51 };

void play_drums(Track& t, const Section& s, int start, int bar_in_section, int bars) {
  const auto hit = [&](int sixteenth, int key, int velocity) {
    t.note(start + sixteenth * kSixteenth, kSixteenth, key, velocity);
  };
  const bool last = bar_in_section == bars - 1;
  if (bar_in_section == 0 && s.drums != Drums::Intro) hit(0, Crash, 110);

  switch (s.drums) {
    case Drums::Intro:
      for (int q = 0; q < 4; ++q) hit(q * 4, Kick, 112);
      for (int e = 0; e < 8; ++e) hit(e * 2, HatClosed, 60 + 12 * bar_in_section);
      if (bar_in_section >= 2 && !last) hit(4, Snare, 96), hit(12, Snare, 100);
      if (last) {
        // A fill down the toms into the first theme.
        static constexpr int kToms[] = {TomHigh, TomHigh, TomMid, TomMid, TomLow, TomLow, Snare, Snare};
        hit(4, Snare, 100);
        for (int i = 0; i < 8; ++i) hit(8 + i, kToms[i], 92 + 3 * i);
      }
      break;
    case Drums::Groove:
    case Drums::Outro: {
      const bool fill = last || (s.drums == Drums::Groove && bar_in_section == 3);
      hit(0, Kick, 118), hit(6, Kick, 100), hit(8, Kick, 112);
      if (!fill) hit(11, Kick, 90);
      hit(4, Snare, 110);
      if (!fill) hit(12, Snare, 112);
      for (int e = 0; e < (fill ? 6 : 8); ++e)
        hit(e * 2, e == 7 ? HatOpen : HatClosed, e % 2 == 0 ? 92 : 70);
      if (fill) {
        // Half a bar of sixteenths round the kit.
        static constexpr int kRound[] = {Snare, Snare, TomHigh, TomHigh, TomMid, TomMid, TomLow, Kick};
        const int from = last ? 8 : 12;
        for (int i = from; i < 16; ++i) hit(i, kRound[i - 8], 90 + 2 * (i - 8));
      }
      break;
    }
    case Drums::Break:
      // Ride and claps, no kick; the last bar rolls on the snare, rising.
      for (int q = 0; q < 4; ++q) hit(q * 4, Ride, q == 0 ? 90 : 72);
      if (!last) {
        hit(4, Clap, 84), hit(12, Clap, 88);
      } else {
        for (int i = 0; i < 16; ++i) hit(i, Snare, 50 + 4 * i);
      }
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <file.mid>\n", argv[0]);
    return 2;
  }

  Track conductor{"Velkor: Duell", 0, {}};
  Track lead{"Lead", 0, {}}, arp{"Arpeggio", 1, {}}, pad{"Strings", 2, {}}, bass{"Bass", 3, {}},
      brass{"Brass", 4, {}}, drums{"Drums", 9, {}};
  struct Setup {
    Track* track;
    int program, volume, pan, reverb;
  };
  // Programs are General MIDI's, counted from zero.
  const Setup setups[] = {{&lead, 81, 96, 64, 40},  {&arp, 80, 62, 40, 50},  {&pad, 48, 80, 88, 70},
                          {&bass, 38, 104, 64, 10}, {&brass, 61, 78, 76, 50}, {&drums, 0, 112, 64, 30}};
  conductor.text(0, 0x03, conductor.name);
  conductor.meta(0, 0x58, {4, 2, 24, 8});  // 4/4
  conductor.meta(0, 0x59, {0, 1});         // A minor
  conductor.meta(0, 0x51, {(kMicrosecondsPerQuarter >> 16) & 0xFF, (kMicrosecondsPerQuarter >> 8) & 0xFF,
                           kMicrosecondsPerQuarter & 0xFF});
  for (const Setup& s : setups) {
    s.track->text(0, 0x03, s.track->name);
    if (s.track != &drums) s.track->program(0, s.program);
    s.track->control(0, 7, s.volume);
    s.track->control(0, 10, s.pan);
    s.track->control(0, 91, s.reverb);
  }

  int bar = 0;
  for (const Section& s : sections()) {
    conductor.text(bar * kBar, 0x06, s.name);  // marker
    const int bars = static_cast<int>(s.chords.size());
    for (int i = 0; i < bars; ++i) {
      const int start = (bar + i) * kBar;
      play_bar(arp, pad, bass, brass, s, chord(s.chords[i]), start, i);
      play_drums(drums, s, start, i, bars);
    }
    if (s.melody != nullptr) play_melody(lead, bar * kBar, s.melody);
    bar += bars;
  }
  const int end = bar * kBar;

  std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  const Track* tracks[] = {&conductor, &lead, &arp, &pad, &bass, &brass, &drums};
  put_be(file, std::size(tracks), 2);
  put_be(file, kTicksPerQuarter, 2);
  for (const Track* t : tracks) {
    const std::vector<uint8_t> chunk = track_chunk(*t, end);
    file.insert(file.end(), chunk.begin(), chunk.end());
  }

  FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "%s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
