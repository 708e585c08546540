// The recording fake of the platform layer. Unit tests of the engine and the game link it in place
// of the real backends: every platform call is recorded with its arguments, in order, and a test
// chooses what any call returns.
//
//   fake::Platform& p = fake::Platform::Get();
//   p.Reset();
//   p.ResultForCall("IDirect3DDevice9::SetRenderState", 3, D3DERR_INVALIDCALL);
//   ... run the code under test ...
//   EXPECT_EQ(p.CountOf("MessageBoxA"), 1u);
//
// Each interface of the layer has its own file beside this one (fake_win32.cpp, ...); they all
// record through this class and nothing here knows about them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace fake {

struct Call {
  std::string name;               // "MessageBoxA", "IDirect3DDevice9::Clear", ...
  std::vector<std::string> args;  // every argument as text (see Arg below)

  const std::string& Arg(size_t i) const { return args.at(i); }
  std::string Joined() const;  // the arguments joined by blanks: "0 <null> 3"
};

// Arguments as they are recorded: numbers in decimal, strings as they are, null pointers as
// "<null>", other pointers as "ptr".
std::string Arg(const char* text);
std::string Arg(const std::string& text);
std::string Arg(std::nullptr_t);
std::string Arg(bool value);
std::string Arg(double value);
std::string Arg(const void* pointer);
template <typename T>
  requires std::is_integral_v<T> || std::is_enum_v<T>
std::string Arg(T value) {
  if constexpr (std::is_enum_v<T> || std::is_signed_v<T>) return std::to_string(static_cast<long long>(value));
  else return std::to_string(static_cast<unsigned long long>(value));
}

// The arguments as ArgsOf shows a call of them: Args(D3DRS_ALPHAREF, 1, nullptr) is "24 1 <null>".
template <typename... T>
std::string Args(const T&... values) {
  std::string out;
  ((out += (out.empty() ? "" : " ") + Arg(values)), ...);
  return out;
}

class Platform {
 public:
  static Platform& Get();

  // Forgets every recorded call, every chosen result and every hook, and resets the state of
  // every interface's fake (see AddResetHandler).
  void Reset();
  // Each interface's fake registers how to clear its own state; Reset runs them all.
  void AddResetHandler(std::function<void()> handler);

  // Records a call. Returns the result a test chose for it, or `fallback`.
  template <typename... Args>
  long long Record(std::string_view name, long long fallback, const Args&... args) {
    RecordingScope recording;
    return RecordCall(Call{std::string(name), {Arg(args)...}}, fallback);
  }
  long long RecordCall(Call call, long long fallback);
  // Whether the fake is recording a call on this thread now: a test that counts what the code
  // under test allocates leaves out what the fake allocates to record it.
  static bool Recording();

  // The nth call (counted from 1 since the last Reset) of `name` returns `result`.
  void ResultForCall(std::string_view name, int nth, long long result);
  // Every further call of `name` returns `result` (a chosen nth result still comes first).
  void ResultForAll(std::string_view name, long long result);
  // Runs `hook` after recording each call of `name`, before the result is returned.
  void OnCall(std::string_view name, std::function<void(const Call&)> hook);

  const std::vector<Call>& Calls() const { return calls_; }
  std::vector<Call> CallsTo(std::string_view name) const;
  size_t CountOf(std::string_view name) const;
  // The arguments of each call of `name`, in order, joined by blanks.
  std::vector<std::string> ArgsOf(std::string_view name) const;

 private:
  struct RecordingScope {
    RecordingScope();
    ~RecordingScope();
  };

  std::vector<Call> calls_;
  std::map<std::string, int, std::less<>> counts_;
  std::map<std::pair<std::string, int>, long long> nth_results_;
  std::map<std::string, long long, std::less<>> all_results_;
  std::map<std::string, std::vector<std::function<void(const Call&)>>, std::less<>> hooks_;
  std::vector<std::function<void()>> reset_handlers_;
};

// The state of one interface's fake, as its struct's defaults make it: kept from first use, and
// made again at every Reset.
template <typename State>
State& StateOf() {
  static State state;
  [[maybe_unused]] static const bool registered = (Platform::Get().AddResetHandler([] { state = State{}; }), true);
  return state;
}

}  // namespace fake
