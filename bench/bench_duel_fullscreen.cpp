// The duel's frame full screen, as the game runs, on a display of 1920x1080 (the most common) and on
// one of 1024x768 (the game's own size), beside the same screen drawn by SDL_Renderer full screen
// with SDL_RenderSetLogicalSize (its own letterbox) in the same run. Both sides paced to 60 frames
// a second as the game is (the device's default interval; the same deadlines for the peer), each in
// a child process alone on a virtual display of its own (Xvfb, started here, no window manager);
// every round runs on both displays in turn.
// Reported: the processor time of the whole process per frame (llvmpipe's threads included), the
// medians of the rounds. Targets: ours at 1920x1080 at most the peer's there, and at most 1.5 times
// ours at 1024x768.
//
//   bench_duel_fullscreen [--seconds=5] [--rounds=3] [--run-dir=<folder with objects/>]
#include <fcntl.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "duel_frame_sides.h"

namespace {

// A virtual display of a size, for as long as this lives.
class VirtualDisplay {
 public:
  VirtualDisplay(int width, int height) {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string fd = std::to_string(fds[1]);
    std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    char* args[] = {const_cast<char*>("Xvfb"), const_cast<char*>("-displayfd"), fd.data(), const_cast<char*>("-screen"),
                    const_cast<char*>("0"), screen.data(), const_cast<char*>("-nolisten"), const_cast<char*>("tcp"),
                    const_cast<char*>("-noreset"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    bool spawned = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, args, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    char c = 0;
    while (spawned && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!spawned) pid_ = 0;
    if (!number.empty()) name_ = ":" + number;
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  const std::string& Name() const { return name_; }

 private:
  pid_t pid_ = 0;
  std::string name_;
};

// This process's environment with DISPLAY set to `display` and SDL left to choose X11.
std::vector<std::string> EnvironmentFor(const std::string& display) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "SDL_VIDEODRIVER=", 16) != 0) env.emplace_back(*e);
  env.push_back("DISPLAY=" + display);
  return env;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = Option(argc, argv, "seconds", 5.0);
  const int rounds = std::max(1, static_cast<int>(Option(argc, argv, "rounds", 3)));
  const std::string run = StringOption(argc, argv, "run-dir", ZR_BENCH_RUN_DIR);
  const std::string side = StringOption(argc, argv, "side", "");
  if (!side.empty())
    return Child(side, seconds, run, Way{Option(argc, argv, "paced", 0) != 0, Option(argc, argv, "full-screen", 0) != 0});

  struct Screen {
    int width, height;
    double ours = 0, theirs = 0, oursFps = 0, theirsFps = 0;  // ms of processor a frame; frames a second
  };
  Screen screens[] = {{1920, 1080}, {1024, 768}};
  // Both displays up at once and every round on each in turn, so that a drift in the machine's
  // speed over the run falls on both sizes alike.
  std::vector<std::unique_ptr<VirtualDisplay>> displays;
  std::vector<std::vector<std::string>> envs;
  std::vector<std::vector<char*>> envps;
  for (const Screen& screen : screens) {
    displays.push_back(std::make_unique<VirtualDisplay>(screen.width, screen.height));
    if (displays.back()->Name().empty()) {
      std::fprintf(stderr, "no virtual display of %dx%d (is Xvfb installed?)\n", screen.width, screen.height);
      return 1;
    }
    envs.push_back(EnvironmentFor(displays.back()->Name()));
  }
  for (std::vector<std::string>& env : envs) {
    envps.emplace_back();
    for (std::string& e : env) envps.back().push_back(e.data());
    envps.back().push_back(nullptr);
  }
  std::vector<double> ours[2], theirs[2], oursFps[2], theirsFps[2];
  for (int r = 0; r < rounds; ++r) {
    for (std::size_t i = 0; i < std::size(screens); ++i) {
      Rates o, t;
      if (!RunChild("ours", seconds, run, Way{true, true}, o, envps[i].data()) ||
          !RunChild("sdl", seconds, run, Way{true, true}, t, envps[i].data())) {
        std::fprintf(stderr, "%dx%d: round %d failed\n", screens[i].width, screens[i].height, r);
        return 1;
      }
      ours[i].push_back(o.queued.processMs), oursFps[i].push_back(o.queued.fps);
      theirs[i].push_back(t.queued.processMs), theirsFps[i].push_back(t.queued.fps);
    }
  }
  for (std::size_t i = 0; i < std::size(screens); ++i) {
    screens[i].ours = Median(ours[i]), screens[i].theirs = Median(theirs[i]);
    screens[i].oursFps = Median(oursFps[i]), screens[i].theirsFps = Median(theirsFps[i]);
  }
  std::printf("duel frame, 30 shots, full screen at 60 fps, processor time of the process per frame, medians of %d "
              "round(s):\n",
              rounds);
  for (const Screen& s : screens)
    std::printf("  %4dx%-4d  ours %6.3f ms (%4.1f fps)   SDL_Renderer with its logical size %6.3f ms (%4.1f fps)\n",
                s.width, s.height, s.ours, s.oursFps, s.theirs, s.theirsFps);
  const Screen& large = screens[0];
  const Screen& small = screens[1];
  std::printf("  ratio at 1920x1080 ours/SDL_Renderer: %.2f (target at most 1)\n", large.ours / large.theirs);
  std::printf("  ratio ours 1920x1080 / ours 1024x768: %.2f (target at most 1.5); SDL_Renderer's own: %.2f\n",
              large.ours / small.ours, large.theirs / small.theirs);
  return 0;
}
