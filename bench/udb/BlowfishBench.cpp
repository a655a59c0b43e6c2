// One 4,096-byte page through the Blowfish 8-bit CFB of the page file:
//   Decipher        the code the processor allows (64-byte vector steps
//                   with AVX-512 VBMI, else the plain eight-byte steps)
//   DecipherPlain   the plain code always
//   Encipher        one page alone (serial: each byte waits for the last)
//   EncipherRuns/n  n pages side by side, as a commit enciphers them
//                   (time per page)
// Run: build/bench/bench_BlowfishBench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "Udb/Blowfish.h"

namespace {

constexpr std::size_t kPage = 4096;

TBlowfishContext& Context() {
  static TBlowfishContext ctx = [] {
    TBlowfishContext c;
    const char key[] = "bench master key";
    BlowfishInit(c, key, 16 * 8, nullptr);
    return c;
  }();
  return ctx;
}

std::vector<std::uint8_t> Noise(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return v;
}

void Decipher(benchmark::State& state, bool plain) {
  TBlowfishContext& ctx = Context();
  const bool vector = BlowfishVectorDecipherForTests(!plain);
  const std::vector<std::uint8_t> page = Noise(kPage, 1);
  std::vector<std::uint8_t> out(kPage);
  for (auto _ : state) {
    CfbDecrypt(ctx, page.data(), out.data(), kPage);
    CfbResetIV(ctx);
    benchmark::DoNotOptimize(out.data());
  }
  BlowfishVectorDecipherForTests(true);
  state.SetLabel(vector ? "vector" : "plain");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPage));
}

void BM_Decipher(benchmark::State& state) { Decipher(state, false); }
void BM_DecipherPlain(benchmark::State& state) { Decipher(state, true); }

void BM_Encipher(benchmark::State& state) {
  TBlowfishContext& ctx = Context();
  const std::vector<std::uint8_t> page = Noise(kPage, 2);
  std::vector<std::uint8_t> out(kPage);
  for (auto _ : state) {
    CfbEncrypt(ctx, page.data(), out.data(), kPage);
    CfbResetIV(ctx);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kPage));
}

void BM_EncipherRuns(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<std::vector<std::uint8_t>> pages, out;
  std::vector<const std::uint8_t*> from;
  std::vector<std::uint8_t*> to;
  for (std::size_t k = 0; k < n; ++k) {
    pages.push_back(Noise(kPage, 3 + static_cast<std::uint32_t>(k)));
    out.emplace_back(kPage);
  }
  for (std::size_t k = 0; k < n; ++k) {
    from.push_back(pages[k].data());
    to.push_back(out[k].data());
  }
  for (auto _ : state) {
    CfbEncryptRuns(Context(), from.data(), to.data(), n, kPage);
    benchmark::DoNotOptimize(to.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n * kPage));
}

}  // namespace

BENCHMARK(BM_Decipher)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecipherPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Encipher)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncipherRuns)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);
