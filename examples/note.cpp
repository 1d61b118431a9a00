// A small C++ host of the library, on vantry.hpp: keeps a note in a sealed file under this
// account's key (no passphrase to keep: the account's secret, or on Windows the data
// protection API), reads it back, and shows what a host sees when the key is wrong.
//
// Usage: note_cpp [FOLDER]   (the file goes to FOLDER, by default the current folder)
#include <iostream>
#include <string>
#include <vantry/vantry.hpp>

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const std::string file = folder + "/note-cpp.vty";  // a UTF-8 name
  const std::string note = "Meet at the usual place, 7 pm.";
  try {
    vantry::Seal(file, note, vantry::SealedFileKey::Account());
    // Wiped and freed when it goes; the exact bytes sealed, all of them authenticated.
    const vantry::Buffer unsealed = vantry::Unseal(file, vantry::SealedFileKey::Account());
    const std::string text(unsealed.begin(), unsealed.end());
    std::cout << "unsealed " << unsealed.size() << " bytes: " << text << '\n';
    if (text != note) {
      return 1;
    }
    vantry::Unseal(file, vantry::SealedFileKey::Passphrase("a guess"));
    return 1;
  } catch (const vantry::Error& e) {
    if (e.code() != vantry::Status::kWrongKeyKind) {
      std::cerr << e.what() << '\n';
      return 1;
    }
    std::cout << "with a passphrase instead: " << e.code().message() << '\n';
  }
  std::cout << "library " << vantry::Version() << '\n';
  return 0;
}
