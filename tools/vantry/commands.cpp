#include "commands.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

#include "key_source.h"
#include "standard_streams.h"
#include "vantry/machine_key.h"
#include "vantry/vantry.h"

namespace vantry::tool {
namespace {

// Runs body and gives its failure the user's names for scratch files.
template <typename Body>
int Explained(Operands& operands, Body body) {
  try {
    return body();
  } catch (const std::exception& e) {
    throw std::runtime_error(operands.Explain(e.what()));
  }
}

}  // namespace

int RunSave(const Options& options) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  Operands::CheckOutput(output, options.force);
  const KeyMaterial key = ObtainKey(options.key, true);
  const std::vector<unsigned char> data = ReadBytes(input);
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw std::runtime_error("the INPUT is too large: at most 2147483647 bytes can be saved");
  }
  Operands operands;
  return Explained(operands, [&] {
    const std::string path = operands.OutputPath(output);
    SaveVantryWithKey2(data.data(), static_cast<std::int32_t>(data.size()), path.c_str(),
                       key.machineKey ? nullptr : key.text.c_str());
    operands.FinishOutput();
    return 0;
  });
}

int RunLoad(const Options& options) {
  const std::string& input = options.operands[0];
  const std::string& output = options.operands[1];
  Operands::CheckOutput(output, options.force);
  const KeyMaterial key = ObtainKey(options.key, false);
  Operands operands;
  return Explained(operands, [&] {
    const std::string path = operands.InputPath(input);
    std::int32_t length = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> block(
        LoadVantryWithKey2(path.c_str(), &length, key.machineKey ? nullptr : key.text.c_str()),
        &FreeVantryBuffer);
    std::size_t n = static_cast<std::size_t>(length);
    if (options.strip) {
      while (n > 0 && block.get()[n - 1] == 0) {
        --n;
      }
    }
    Operands::WriteOutput(output, block.get(), n);
    return 0;
  });
}

int RunMachineKey() {
  const std::string key = MachineKeyText();
  std::printf("%s\n", key.c_str());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace vantry::tool
