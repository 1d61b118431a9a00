// Clearing the processor's vector registers at the end of a call that handled secrets.
//
// Wiping memory is not enough on x86. Copies of a key pass through vector registers (the C
// library's memcpy and strlen, the compiler's own vectorised loops, AES-NI), and they stay
// there after the call returns. glibc's EVEX string functions use ymm16-ymm31, which ordinary
// code never overwrites, so a key can sit there for the rest of the process. The next lazily
// bound call of the host then runs the dynamic linker's resolver, which saves every vector
// register onto the stack (xsave), and the key lands in the host's memory, whatever the
// library wiped.
#ifndef VANTRY_PLATFORM_VECTOR_REGISTERS_H_
#define VANTRY_PLATFORM_VECTOR_REGISTERS_H_

namespace vantry::platform {

// Sets every vector register this processor and operating system have enabled to zero:
// xmm/ymm 0-15 (0-7 on 32-bit x86), and zmm0-zmm31 where AVX-512 is enabled, found once at
// run time. Also clears the caller-saved general registers that carry no return value. Does
// nothing on other processors. Cheap (a few dozen instructions), so it may end every call.
void ClearVectorRegisters() noexcept;

// Calls ClearVectorRegisters when it goes out of scope: declared first in a function, it runs
// after every other local's destructor, also when an exception leaves the function.
class VectorRegisterClearer {
 public:
  VectorRegisterClearer() = default;
  ~VectorRegisterClearer() { ClearVectorRegisters(); }
  VectorRegisterClearer(const VectorRegisterClearer&) = delete;
  VectorRegisterClearer& operator=(const VectorRegisterClearer&) = delete;
};

}  // namespace vantry::platform

#endif  // VANTRY_PLATFORM_VECTOR_REGISTERS_H_
