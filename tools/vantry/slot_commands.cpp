#include "slot_commands.h"

#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "key_source.h"
#include "operands.h"
#include "sealed_keys.h"
#include "secret.h"
#include "secret_commands.h"
#include "vantry/sealed.h"

namespace vantry::tool {

int RunKeygen(const Options& options) {
  if (!options.recipients.empty()) {
    std::vector<KeyFileLine> lines = KeyLines(options.recipients[0], "identity");
    const std::string recipient = RecipientOfIdentity(lines[0].text);
    for (KeyFileLine& line : lines) {
      WipeString(line.text);
    }
    std::printf("%s\n", recipient.c_str());
    return FlushStandardOutput(0);
  }
  const std::string& output = options.operands[0];
  // An identity is a key: never written over another one.
  CheckOutput(output, false);
  const NewIdentity identity;
  char created[32] = "";
  const std::time_t now = std::time(nullptr);
  if (const std::tm* utc = std::gmtime(&now)) {
    std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", utc);
  }
  std::string text = std::string("# created: ") + created +
                     "\n# recipient: " + identity.recipient() + "\n" + identity.identity() + "\n";
  // Checked above for a clear message; the writer also keeps a file that takes the name
  // meanwhile, rather than replacing it.
  std::unique_ptr<ByteWriter> writer = output == "-"
                                           ? OpenOutput(output, OutputKind::kPlainText, false)
                                           : CreateNewFileWriter(output, FileMode::kOwnerOnly);
  writer->Write(text.data(), text.size());
  writer->Commit();
  WipeString(text);
  std::printf("%s\n", identity.recipient().c_str());
  return FlushStandardOutput(0);
}

int RunSlots(const Options& options) {
  const std::string& file = options.operands[0];
  std::vector<SealedSlot> slots;
  const int version = ListSealedSlots(*OpenInput(file), OperandName(file), slots);
  std::printf("%s: sealed file version %d, %zu %s\n", PrintableName(file).c_str(), version,
              slots.size(), slots.size() == 1 ? "slot" : "slots");
  for (std::size_t i = 0; i < slots.size(); ++i) {
    std::printf("  %zu  %s%s%s\n", i + 1, slots[i].name.c_str(),
                slots[i].detail.empty() ? "" : ", ", slots[i].detail.c_str());
  }
  return FlushStandardOutput(0);
}

int RunRekeySealed(const Options& options, ByteReader& input) {
  const std::string& output = options.operands[1];
  KeyChoice newKey = options.newKey;
  newKey.whole = true;
  const std::vector<SealedKey> openWith = UnsealingKeys(options);
  const std::vector<SealedKey> add = SealingKeys(options, newKey, false);
  if (add.empty() && options.removeSlots.empty()) {
    throw std::runtime_error(
        "rekey of a sealed file needs a key to add (--new-key-*, --recipient, "
        "--recipients-file, --account-secret) or a slot to remove (--remove-slot)");
  }
  AnnounceNewSecrets(add);
  std::unique_ptr<ByteWriter> writer = OpenOutput(output, OutputKind::kProtected, options.inPlace);
  ChangeSealedSlots(openWith, options.removeSlots, add, input, OperandName(options.operands[0]),
                    *writer);
  writer->Commit();
  return 0;
}

}  // namespace vantry::tool
