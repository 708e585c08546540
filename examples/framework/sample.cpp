#include "sample.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "errorfile/zr_ErrorException.h"
#include "graphics/zr_DirectXGraphics.h"
#include "graphics/zr_Font.h"

const char kCameraHelp[] =
    "W S / Pfeil hoch runter: vor, zurueck   A D: seitwaerts   Pfeil links rechts: drehen\n"
    "Bild hoch runter: neigen   Q E: heben, senken   L: Licht   Esc: Ende";

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr char kErrorLog[] = "error.log";
constexpr float kSpeed = 6.0f;       // camera units per second
constexpr float kTurn = 0.35f;       // turning per unit of speed
constexpr float kPitchLimit = 1.2f;  // radians up or down

struct Options {
  long frames = 0;  // 0: until closed
  std::string screenshot;
};

// "--frames N" and "--screenshot FILE", separated by spaces; anything else is ignored.
Options ParseOptions(const char* commandLine) {
  Options options;
  std::string line = commandLine != nullptr ? commandLine : "";
  std::size_t at = 0;
  auto next = [&]() {
    while (at < line.size() && line[at] == ' ') ++at;
    std::size_t end = line.find(' ', at);
    if (end == std::string::npos) end = line.size();
    std::string word = line.substr(at, end - at);
    at = end;
    return word;
  };
  for (std::string word = next(); !word.empty(); word = next()) {
    if (word == "--frames") {
      options.frames = std::strtol(next().c_str(), nullptr, 10);
      if (options.frames < 0) options.frames = 0;
    } else if (word == "--screenshot") {
      options.screenshot = next();
    }
  }
  return options;
}

LRESULT CALLBACK SampleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateSampleWindow(HINSTANCE instance, const char* title) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = SampleWindowProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "SampleWindow";
  RegisterClassExA(&windowClass);
  return CreateWindowExA(0, "SampleWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, kWidth, kHeight, nullptr,
                         nullptr, instance, nullptr);
}

double Now() {
  static LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? f.QuadPart : 1;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency);
}

class Runner {
 public:
  Runner(Sample& sample, HINSTANCE instance, const Options& options)
      : sample_(sample), instance_(instance), options_(options) {}
  // The sample's objects go before the font, the textures and the device they were made on.
  ~Runner() { sample_.Stop(); }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  int Run() {
    window_ = CreateSampleWindow(instance_, sample_.Title());
    if (window_ == nullptr) {
      MessageBoxA(nullptr, "The window can't be created.", sample_.Title(), MB_OK);
      return 1;
    }
    graphics_.Init(window_, true, 16, false, kWidth, kHeight, kErrorLog);
    IDirect3DDevice9* device = graphics_.GetDevice();
    textures_.Initialise(device);
    if (!sample_.Start(device, textures_)) return 1;
    input_.Initialise(window_, instance_);
    input_.InitKeyboard(window_, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    font_.Initialise(device, zr_FontDesc{0, 700, 0, 0, 0, false, "Arial"});
    SetDeviceStates();
    start_ = last_ = rateStart_ = Now();
    Loop();
    return 0;
  }

 private:
  void SetDeviceStates() {
    IDirect3DDevice9* device = graphics_.GetDevice();
    scene_.Initialise(device, kWidth, kHeight);
    scene_.SetLight(scene_.GetLightState());
    sample_.SetDeviceStates(device);
  }

  void Loop() {
    MSG msg{};
    while (msg.message != WM_QUIT) {
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        continue;
      }
      if (lost_ && !Recover(msg)) continue;
      if (!Frame()) DestroyWindow(window_);
    }
  }

  // Waits until the device can be reset, then releases, resets and restores. False when the
  // window went away meanwhile.
  bool Recover(MSG& msg) {
    while (graphics_.TestCooperativeLevel() != 1) {
      while (PeekMessageA(&msg, window_, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (!IsWindow(window_)) return false;
      Sleep(100);
    }
    sample_.OnLostDevice();
    font_.OnLostDevice();
    graphics_.RestoreObject();
    font_.OnResetDevice();
    sample_.OnResetDevice(graphics_.GetDevice());
    SetDeviceStates();
    lost_ = false;
    return true;
  }

  // One frame; false when the program should end.
  bool Frame() {
    const double now = Now();
    float step = static_cast<float>(now - last_);
    if (step > 0.1f) step = 0.1f;
    last_ = now;
    // A run of a given number of frames follows a fixed timeline of 60 frames a second, so that
    // its last picture is the same on a fast machine and a slow one.
    float seconds = static_cast<float>(now - start_);
    if (options_.frames > 0) {
      step = 1.0f / 60.0f;
      seconds = static_cast<float>(frames_) / 60.0f;
    }
    ++framesSinceRate_;
    if (now - rateStart_ >= 0.5) {
      framesPerSecond_ = static_cast<float>(framesSinceRate_ / (now - rateStart_));
      framesSinceRate_ = 0;
      rateStart_ = now;
    }

    zr_KeyboardData keys{};
    input_.GetKeyboardInput(&keys);
    if (KeyDown(keys, DIK_ESCAPE)) return false;
    MoveCamera(keys, step);

    IDirect3DDevice9* device = graphics_.GetDevice();
    graphics_.Clear(D3DCOLOR_XRGB(24, 28, 40), 0, 0, 0, 0);
    graphics_.BeginScene();
    scene_.Update();
    sample_.Frame(SampleFrame{device, &keys, framesPerSecond_, seconds, step});

    char described[512];
    described[0] = '\0';
    sample_.Describe(described, sizeof described);
    char text[1024];
    std::snprintf(text, sizeof text, "%.0f Bilder pro Sekunde\n%s\n\n%s", framesPerSecond_, described, kCameraHelp);
    font_.RenderText(text, 12, 10, kWidth - 12, kHeight - 10, D3DCOLOR_XRGB(255, 230, 120));

    ++frames_;
    const bool last = options_.frames > 0 && frames_ >= options_.frames;
    if (last && !options_.screenshot.empty()) SaveScreenshot(device);
    if (graphics_.Present() == D3DERR_DEVICELOST) lost_ = true;
    return !last;
  }

  void MoveCamera(const zr_KeyboardData& keys, float step) {
    // MoveCamera divides by the frame rate; one over the step is the rate this frame ran at.
    const float rate = step > 0.0f ? 1.0f / step : 0.0f;
    if (KeyDown(keys, DIK_W) || KeyDown(keys, DIK_UP)) scene_.MoveCamera(rate, 1, kSpeed, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_S) || KeyDown(keys, DIK_DOWN)) scene_.MoveCamera(rate, 2, kSpeed, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_A)) scene_.MoveCamera(rate, 3, kSpeed, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_D)) scene_.MoveCamera(rate, 4, kSpeed, kTurn, kPitchLimit);
    // Rising and sinking move by the speed itself each frame: scale it to the frame.
    if (KeyDown(keys, DIK_Q)) scene_.MoveCamera(rate, 5, kSpeed * step, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_E)) scene_.MoveCamera(rate, 6, kSpeed * step, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_PRIOR)) scene_.MoveCamera(rate, 8, kSpeed, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_NEXT)) scene_.MoveCamera(rate, 7, kSpeed, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_RIGHT)) scene_.MoveCamera(rate, 9, kSpeed, kTurn, kPitchLimit);
    if (KeyDown(keys, DIK_LEFT)) scene_.MoveCamera(rate, 9, kSpeed, -kTurn, kPitchLimit);
    const bool lightKey = KeyDown(keys, DIK_L);
    if (lightKey && !lightKeyHeld_) scene_.SetLight(!scene_.GetLightState());
    lightKeyHeld_ = lightKey;
  }

  // The back buffer before it is shown, so the picture is the one just drawn.
  void SaveScreenshot(IDirect3DDevice9* device) {
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)) || surface == nullptr) return;
    device->EndScene();
    if (FAILED(D3DXSaveSurfaceToFileA(options_.screenshot.c_str(), D3DXIFF_BMP, surface, nullptr, nullptr)))
      std::fprintf(stderr, "The screenshot could not be saved to %s\n", options_.screenshot.c_str());
    surface->Release();
  }

  Sample& sample_;
  HINSTANCE instance_;
  Options options_;
  HWND window_ = nullptr;
  zr_DirectXGraphics graphics_;
  zr_TextureManager textures_;
  zr_InputManager input_;
  zr_Font font_;
  zr_Scene scene_;
  bool lost_ = false;
  bool lightKeyHeld_ = false;
  long frames_ = 0;
  long framesSinceRate_ = 0;
  float framesPerSecond_ = 0.0f;
  double start_ = 0, last_ = 0, rateStart_ = 0;
};

void Report(zr_ErrorException& report) {
  report.GenerateText();
  report.WriteErrorToLog(kErrorLog);
  report.DisplayError();
}

}  // namespace

int RunSample(Sample& sample, HINSTANCE instance, const char* commandLine) {
  try {
    Runner runner(sample, instance, ParseOptions(commandLine));
    return runner.Run();
  } catch (zr_ErrorException& report) {
    Report(report);
  } catch (std::bad_alloc&) {
    zr_ErrorException report(12, "Storage error, there isn't anough storage", 0);
    Report(report);
  }
  return 1;
}
