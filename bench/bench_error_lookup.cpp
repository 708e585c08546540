// A million result-code lookups by halving over the sorted table, beside a hash map of the same
// rows as the peer. Codes are drawn from the table itself and from values it does not hold.
#include <benchmark/benchmark.h>

#include <random>
#include <unordered_map>
#include <vector>

#include "errorfile/DXErrorLookup.h"

namespace {

struct ResultCodeText {
  HRESULT value;
  const char* text;
};
#include "errorfile/DXErrorTables.inc"

constexpr int kLookups = 1'000'000;

std::vector<HRESULT> Codes() {
  std::mt19937 random(42);
  std::vector<HRESULT> codes;
  codes.reserve(kLookups);
  std::uniform_int_distribution<size_t> row(0, std::size(kResultNames) - 1);
  std::uniform_int_distribution<std::uint32_t> any;
  for (int i = 0; i < kLookups; ++i)
    codes.push_back(i % 4 == 3 ? static_cast<HRESULT>(any(random)) : kResultNames[row(random)].value);
  return codes;
}

void BM_DXErrorName_MillionLookups(benchmark::State& state) {
  const std::vector<HRESULT> codes = Codes();
  for (auto _ : state) {
    for (HRESULT hr : codes) benchmark::DoNotOptimize(DXErrorName(hr));
  }
  state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_DXErrorName_MillionLookups)->Unit(benchmark::kMillisecond);

void BM_DXErrorDescription_MillionLookups(benchmark::State& state) {
  const std::vector<HRESULT> codes = Codes();
  for (auto _ : state) {
    for (HRESULT hr : codes) benchmark::DoNotOptimize(DXErrorDescription(hr));
  }
  state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_DXErrorDescription_MillionLookups)->Unit(benchmark::kMillisecond);

void BM_HashMapPeer_MillionLookups(benchmark::State& state) {
  std::unordered_map<HRESULT, const char*> map;
  for (const ResultCodeText& row : kResultNames) map.emplace(row.value, row.text);
  const std::vector<HRESULT> codes = Codes();
  for (auto _ : state) {
    for (HRESULT hr : codes) {
      auto it = map.find(hr);
      benchmark::DoNotOptimize(it == map.end() ? "Unknown" : it->second);
    }
  }
  state.SetItemsProcessed(state.iterations() * kLookups);
}
BENCHMARK(BM_HashMapPeer_MillionLookups)->Unit(benchmark::kMillisecond);

}  // namespace
