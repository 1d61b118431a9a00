// Unsealing with any of several keys: a version-2 file opens through any slot one of them is
// for; a version-1 file (one key) takes the key of its kind.
#ifndef VANTRY_SEALED_UNSEALER_H_
#define VANTRY_SEALED_UNSEALER_H_

#include <string>
#include <vector>

#include "vantry/sealed.h"
#include "vantry/streams.h"

namespace vantry::sealed {

// As UnsealStream, with keys (at least one): input is a binary or an armored sealed file.
void UnsealStreamWith(const std::vector<const SealedKey*>& keys, ByteReader& input,
                      const std::string& inputName, ByteWriter& output);

// The same for a binary sealed file only (what an armored one decodes to): armor inside
// armor is no sealed file.
void UnsealBinaryWith(const std::vector<const SealedKey*>& keys, ByteReader& input,
                      const std::string& inputName, ByteWriter& output);

}  // namespace vantry::sealed

#endif  // VANTRY_SEALED_UNSEALER_H_
