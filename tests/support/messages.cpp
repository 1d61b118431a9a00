#include "support/messages.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vantry::test {

std::string CannotDecrypt(const std::string& name) {
  return "Sealkit ERROR: File " + name + " cannot be Correctly Decrypted!";
}

std::string CannotOpen(const std::string& name) {
  return "Sealkit ERROR: Cannot open File " + name + "!";
}

std::string CannotWrite(const std::string& name) {
  return "Sealkit ERROR: Cannot write File " + name + "!";
}

std::string SameFile(const std::string& name) {
  return "Sealkit ERROR: The same File for Input and Output " + name + "!";
}

std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::runtime_error& e) {
    return e.what();
  } catch (...) {
    ADD_FAILURE() << "threw something other than std::runtime_error";
    return "";
  }
  ADD_FAILURE() << "threw nothing";
  return "";
}

}  // namespace vantry::test
