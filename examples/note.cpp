// A small C++ host of the library, on vantry.hpp: keeps a note in a protected file, reads it
// back, and shows what a host sees when the key is wrong.
//
// Usage: note_cpp [FOLDER]   (the file goes to FOLDER, by default the current folder)
#include <algorithm>
#include <iostream>
#include <string>
#include <vantry/vantry.hpp>

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const std::string file = folder + "/note-cpp.vty";  // a UTF-8 name
  const std::string note = "Meet at the usual place, 7 pm.";
  const vantry::Key key = vantry::Key::Text("correct horse");
  try {
    vantry::Save(file, note, key);
    const vantry::Buffer loaded = vantry::Load(file, key);  // wiped and freed when it goes
    // The block is the note, the zero bytes padding its last 16-byte block, and 32 zero bytes.
    const std::string text(loaded.begin(), std::find(loaded.begin(), loaded.end(), 0));
    std::cout << "loaded " << loaded.size() << " bytes: " << text << '\n';
    if (text != note) {
      return 1;
    }
    vantry::Load(file, vantry::Key::Text("wrong"));
    return 1;
  } catch (const vantry::Error& e) {
    if (e.code() != vantry::Status::kWrongKey) {
      std::cerr << e.what() << '\n';
      return 1;
    }
    std::cout << "with another key: " << e.code().message() << " (" << e.what() << ")\n";
  }
  std::cout << "library " << vantry::Version() << '\n';
  return 0;
}
