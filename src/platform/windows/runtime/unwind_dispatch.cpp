// Linked into the 32-bit vantry.dll only, which carries its own copy of the C++ runtime.
//
// 32-bit mingw-w64 unwinds with DWARF tables that each module registers at start-up, and the
// start-up code (crtbegin) registers them with libgcc_s_dw2-1.dll whenever that DLL is already
// in the process, which it is in every host built with mingw-w64's shared runtime. The unwinder
// linked into vantry.dll would then find none of the library's own frames, and the first
// exception the library throws and catches inside itself would end the host. So every entry of
// the unwinder that the runtime calls goes through the linker (-Wl,--wrap, see
// cmake/toolchains/mingw-w64-project.cmake) to here, and on to whichever unwinder holds the
// library's frames. With the shared one, the exceptions of vantry.h's entry points also reach
// such a host, as they did when the library used the shared runtime itself.
#include <unwind.h>
#include <windows.h>

namespace {

struct dwarf_eh_bases_opaque {
  void* tbase;
  void* dbase;
  void* func;
};

// The shared unwinder when it holds this DLL's frames, else null. Decided at the first
// exception, after start-up registered the frames; the module stays loaded, crtbegin took a
// reference on it.
HMODULE SharedUnwinder() noexcept {
  static const HMODULE shared = []() -> HMODULE {
    HMODULE module = GetModuleHandleW(L"libgcc_s_dw2-1.dll");
    if (module == nullptr) {
      return nullptr;
    }
    using FindFde = const void* (*)(void*, dwarf_eh_bases_opaque*);
    const auto find = reinterpret_cast<FindFde>(
        reinterpret_cast<void*>(GetProcAddress(module, "_Unwind_Find_FDE")));
    dwarf_eh_bases_opaque bases{};
    void* const here = reinterpret_cast<void*>(&SharedUnwinder);
    return find != nullptr && find(here, &bases) != nullptr ? module : nullptr;
  }();
  return shared;
}

template <class Function>
Function Shared(const char* name) noexcept {
  const HMODULE module = SharedUnwinder();
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

// __wrap_NAME sends the call to the shared unwinder's NAME when that one holds the frames, else
// to the static __real_NAME.
#define VANTRY_UNWIND_DISPATCH(Result, name, params, args)       \
  extern "C" Result __real_##name params;                        \
  extern "C" Result __wrap_##name params {                       \
    static const auto shared = Shared<Result(*) params>(#name);  \
    return shared != nullptr ? shared args : __real_##name args; \
  }

VANTRY_UNWIND_DISPATCH(_Unwind_Reason_Code, _Unwind_RaiseException, (_Unwind_Exception * e), (e))
VANTRY_UNWIND_DISPATCH(void, _Unwind_Resume, (_Unwind_Exception * e), (e))
VANTRY_UNWIND_DISPATCH(_Unwind_Reason_Code, _Unwind_Resume_or_Rethrow, (_Unwind_Exception * e), (e))
VANTRY_UNWIND_DISPATCH(void, _Unwind_DeleteException, (_Unwind_Exception * e), (e))
// The context the personality routine reads belongs to the unwinder that made it.
VANTRY_UNWIND_DISPATCH(_Unwind_Word, _Unwind_GetGR, (_Unwind_Context * c, int i), (c, i))
VANTRY_UNWIND_DISPATCH(void, _Unwind_SetGR, (_Unwind_Context * c, int i, _Unwind_Word v), (c, i, v))
VANTRY_UNWIND_DISPATCH(_Unwind_Ptr, _Unwind_GetIP, (_Unwind_Context * c), (c))
VANTRY_UNWIND_DISPATCH(_Unwind_Ptr, _Unwind_GetIPInfo, (_Unwind_Context * c, int* before),
                       (c, before))
VANTRY_UNWIND_DISPATCH(void, _Unwind_SetIP, (_Unwind_Context * c, _Unwind_Ptr ip), (c, ip))
VANTRY_UNWIND_DISPATCH(void*, _Unwind_GetLanguageSpecificData, (_Unwind_Context * c), (c))
VANTRY_UNWIND_DISPATCH(_Unwind_Ptr, _Unwind_GetRegionStart, (_Unwind_Context * c), (c))
VANTRY_UNWIND_DISPATCH(_Unwind_Ptr, _Unwind_GetDataRelBase, (_Unwind_Context * c), (c))
VANTRY_UNWIND_DISPATCH(_Unwind_Ptr, _Unwind_GetTextRelBase, (_Unwind_Context * c), (c))
VANTRY_UNWIND_DISPATCH(_Unwind_Word, _Unwind_GetCFA, (_Unwind_Context * c), (c))
