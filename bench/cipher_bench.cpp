// The cipher side by side with OpenSSL EVP: single blocks, and whole buffers in each mode.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_cases.h"
#include "bench_inputs.h"
#include "openssl_evp.h"
#include "platform/vector_registers.h"
#include "vantry/rijndael_cipher.h"

namespace vantry::bench {
namespace {

const char* ModeName(int mode) {
  return mode == MODE_ECB ? "ECB" : mode == MODE_CBC ? "CBC" : "CFB";
}

std::string OpenSslName(int keyLength, int mode) {
  return "AES-" + std::to_string(keyLength * 8) + "-" + ModeName(mode);
}

std::string SizeName(std::size_t n) {
  return n >= kMiB ? std::to_string(n / kMiB) + "MiB" : std::to_string(n) + "B";
}

// One block at a time, each output fed back as the next input: the latency of one call, as a
// caller that transforms single blocks sees it.
void RegisterBlockCases() {
  for (int keyLength : {16, 24, 32}) {
    for (int blockSize : {16, 24, 32}) {
      for (bool encrypt : {true, false}) {
        const std::string caseName = std::string("Block/K") + std::to_string(keyLength) + "B" +
                                     std::to_string(blockSize) +
                                     (encrypt ? "/Encrypt" : "/Decrypt");
        benchmark::RegisterBenchmark((caseName + ":Vantry").c_str(), [=](benchmark::State& state) {
          CRijndaelCipher cipher;
          cipher.SetKey(kKeyBytes, keyLength, kChainBlock, keyLength, blockSize, MODE_ECB,
                        PAD_ZERO);
          std::vector<unsigned char> block = PatternBytes(32);
          for (auto _ : state) {
            if (encrypt) {
              cipher.EncryptBlock(block.data(), block.data());
            } else {
              cipher.DecryptBlock(block.data(), block.data());
            }
            benchmark::DoNotOptimize(block.data());
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * blockSize);
        });
        // OpenSSL has AES, the 16-byte-block Rijndael, only.
        if (blockSize != 16) {
          continue;
        }
        benchmark::RegisterBenchmark((caseName + ":OpenSSL").c_str(), [=](benchmark::State& state) {
          EvpCipher cipher(OpenSslName(keyLength, MODE_ECB), kKeyBytes, nullptr, encrypt);
          std::vector<unsigned char> block = PatternBytes(16);
          for (auto _ : state) {
            cipher.Update(block.data(), block.data(), 16);
            benchmark::DoNotOptimize(block.data());
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16);
        });
      }
    }
  }
}

// Encrypt / Decrypt over n bytes per call, AES-128 (16-byte key and block), the chain carried
// from call to call on both sides.
void RegisterModeCases(RatioReporter& reporter) {
  for (std::size_t n : {std::size_t{384}, kMiB}) {
    for (int mode : {MODE_ECB, MODE_CBC, MODE_CFB}) {
      for (bool encrypt : {true, false}) {
        const std::string caseName =
            std::string(encrypt ? "Encrypt/" : "Decrypt/") + ModeName(mode) + "/" + SizeName(n);
        benchmark::RegisterBenchmark((caseName + ":Vantry").c_str(), [=](benchmark::State& state) {
          CRijndaelCipher cipher;
          cipher.SetKey(kKeyBytes, 16, kChainBlock, 16, 16, mode, PAD_ZERO);
          const std::vector<unsigned char> in = PatternBytes(n);
          std::vector<unsigned char> out(n);
          for (auto _ : state) {
            if (encrypt) {
              cipher.Encrypt(in.data(), out.data(), n);
            } else {
              cipher.Decrypt(in.data(), out.data(), n);
            }
            benchmark::DoNotOptimize(out.data());
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
        });
        benchmark::RegisterBenchmark((caseName + ":OpenSSL").c_str(), [=](benchmark::State& state) {
          EvpCipher cipher(OpenSslName(16, mode), kKeyBytes, kChainBlock, encrypt);
          const std::vector<unsigned char> in = PatternBytes(n);
          std::vector<unsigned char> out(n);
          for (auto _ : state) {
            cipher.Update(in.data(), out.data(), n);
            benchmark::DoNotOptimize(out.data());
          }
          state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
        });
      }
    }
  }
  // Protected files go through ECB in 384-byte chunks and 65,280-byte pieces: the cases the
  // targets are about. OpenSSL runs ECB on vector AES where the processor has it, and so does
  // Vantry.
  for (const char* caseName : {"Encrypt/ECB/384B", "Encrypt/ECB/1MiB"}) {
    reporter.SetTarget(caseName, Target{Target::Kind::kSpeedAtLeast, 1.0, "Vantry"});
  }
}

// What clearing the vector registers costs: Encrypt, Decrypt, SetKey and GetKeyDigest do it
// once per call before they return. No OpenSSL twin; read it against the time per call of the
// 384-byte cases.
void RegisterRegisterClearing() {
  benchmark::RegisterBenchmark("ClearVectorRegisters", [](benchmark::State& state) {
    for (auto _ : state) {
      platform::ClearVectorRegisters();
    }
  });
}

}  // namespace

void RegisterCipherBenchmarks(RatioReporter& reporter, const BenchOptions&) {
  RegisterBlockCases();
  RegisterModeCases(reporter);
  RegisterRegisterClearing();
}

}  // namespace vantry::bench
