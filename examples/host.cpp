// A small host of the library: keeps a note in a protected file, reads it back, and shows what
// a host sees when the key is wrong or the file is missing.
//
// Usage: host [FOLDER]   (the files go to FOLDER, by default the current folder)
#include <vantry/file_error.h>
#include <vantry/machine_key.h>
#include <vantry/vantry.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

// A loaded block belongs to the host; FreeVantryBuffer gives it back.
using LoadedBlock = std::unique_ptr<unsigned char, void (*)(void*)>;

// The loaded block ends in zero bytes (padding and 32 more); a text note ends at the first.
std::string NoteOf(const LoadedBlock& block, std::int32_t length) {
  const char* text = reinterpret_cast<const char*>(block.get());
  return std::string(text, std::find(text, text + length, '\0'));
}

int Run(const std::string& folder) {
  const std::string file = folder + "/note.vty";
  const std::string note = "Meet at the usual place, 7 pm.";
  const auto* data = reinterpret_cast<const unsigned char*>(note.data());
  const auto size = static_cast<std::int32_t>(note.size());

  // With the host's own key.
  SaveVantryWithKey2(data, size, file.c_str(), "host application key");
  std::int32_t length = 0;
  LoadedBlock block(LoadVantryWithKey2(file.c_str(), &length, "host application key"),
                    &FreeVantryBuffer);
  std::printf("saved %d bytes to %s, loaded a block of %d bytes: \"%s\"\n", static_cast<int>(size),
              file.c_str(), static_cast<int>(length), NoteOf(block, length).c_str());
  if (NoteOf(block, length) != note) {
    std::fprintf(stderr, "host: the note came back changed\n");
    return 1;
  }

  // With the machine key: readable only on this machine.
  SaveVantry(data, size, file.c_str());
  block.reset(LoadVantry(file.c_str(), &length));
  std::printf("machine key \"%s\" read back \"%s\"\n", vantry::GetMachineKey().c_str(),
              NoteOf(block, length).c_str());
  if (NoteOf(block, length) != note) {
    std::fprintf(stderr, "host: the note came back changed under the machine key\n");
    return 1;
  }

  // What failures look like to a host.
  try {
    block.reset(LoadVantryWithKey2(file.c_str(), &length, "somebody else's key"));
    std::fprintf(stderr, "host: a wrong key was accepted\n");
    return 1;
  } catch (const std::runtime_error& e) {
    std::printf("wrong key: %s\n", e.what());
  }
  try {
    block.reset(LoadVantry((folder + "/missing.vty").c_str(), &length));
    std::fprintf(stderr, "host: a missing file was loaded\n");
    return 1;
  } catch (const vantry::FileError& e) {
    std::printf("missing file: %s\n", e.what());
  }
  std::remove(file.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc > 1 ? argv[1] : ".");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "host: %s\n", e.what());
    return 1;
  }
}
