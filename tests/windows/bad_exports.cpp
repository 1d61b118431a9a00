// A DLL whose export table is wrong in the ways vantry.dll's must never be: an entry point
// with stdcall decoration on 32-bit Windows ("SaveVantry@12"), the others missing, and a name
// that is no part of the public surface. check_exports.cmake must refuse it.
extern "C" {

__declspec(dllexport) void __stdcall SaveVantry(const unsigned char*, int, const char*) {}
__declspec(dllexport) unsigned char* LoadVantry(const char*, int*) { return nullptr; }
__declspec(dllexport) void ScratchHelper() {}

}  // extern "C"
