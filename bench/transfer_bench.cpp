// Decoding a USB image of 1,000 members with 500 readings each into members (no file written).
// Goal on the reference machine: under 10 ms.
#include <benchmark/benchmark.h>

#include "model/sample_project.h"
#include "model/transfer_decoder.h"
#include "transfer/instrument_encoder.h"

namespace {

void DecodeUsbImage(benchmark::State& state) {
  static const std::string image = kro::encodeUsbImage(kro::makeLargeProject(1000, 500)).value();
  for (auto _ : state) {
    auto decoded = kro::decodeTransfer(kro::TransferLayout::Usb, image);
    benchmark::DoNotOptimize(decoded.value().members.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}

BENCHMARK(DecodeUsbImage)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace
