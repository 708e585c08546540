#include "fake_platform.h"

#include <cstdio>

namespace fake {

std::string Call::Joined() const {
  std::string out;
  for (const std::string& a : args) out += (out.empty() ? "" : " ") + a;
  return out;
}

std::string Arg(const char* text) { return text == nullptr ? "<null>" : std::string(text); }
std::string Arg(const std::string& text) { return text; }
std::string Arg(std::nullptr_t) { return "<null>"; }
std::string Arg(bool value) { return value ? "true" : "false"; }
std::string Arg(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}
std::string Arg(const void* pointer) { return pointer == nullptr ? "<null>" : "ptr"; }

int& LiveComObjects() {
  static int live = 0;
  return live;
}

Platform& Platform::Get() {
  static Platform platform;
  return platform;
}

void Platform::Reset() {
  calls_.clear();
  counts_.clear();
  nth_results_.clear();
  all_results_.clear();
  hooks_.clear();
  for (const auto& handler : reset_handlers_) handler();
}

void Platform::AddResetHandler(std::function<void()> handler) { reset_handlers_.push_back(std::move(handler)); }

namespace {
thread_local int t_recording = 0;
}  // namespace

Platform::RecordingScope::RecordingScope() { ++t_recording; }
Platform::RecordingScope::~RecordingScope() { --t_recording; }
bool Platform::Recording() { return t_recording > 0; }

long long Platform::RecordCall(Call call, long long fallback) {
  const int nth = ++counts_[call.name];
  calls_.push_back(call);
  if (auto hooks = hooks_.find(call.name); hooks != hooks_.end())
    for (const auto& hook : hooks->second) hook(call);
  if (auto chosen = nth_results_.find({call.name, nth}); chosen != nth_results_.end())
    return chosen->second;
  if (auto chosen = all_results_.find(call.name); chosen != all_results_.end()) return chosen->second;
  return fallback;
}

void Platform::ResultForCall(std::string_view name, int nth, long long result) {
  nth_results_[{std::string(name), nth}] = result;
}

void Platform::ResultForAll(std::string_view name, long long result) {
  all_results_[std::string(name)] = result;
}

void Platform::OnCall(std::string_view name, std::function<void(const Call&)> hook) {
  hooks_[std::string(name)].push_back(std::move(hook));
}

std::vector<Call> Platform::CallsTo(std::string_view name) const {
  std::vector<Call> out;
  for (const Call& c : calls_)
    if (c.name == name) out.push_back(c);
  return out;
}

size_t Platform::CountOf(std::string_view name) const {
  auto it = counts_.find(name);
  return it == counts_.end() ? 0 : static_cast<size_t>(it->second);
}

std::vector<std::string> Platform::ArgsOf(std::string_view name) const {
  std::vector<std::string> out;
  for (const Call& c : calls_)
    if (c.name == name) out.push_back(c.Joined());
  return out;
}

}  // namespace fake
