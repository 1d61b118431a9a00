// The one export macro of the library.
//
// A static build defines VANTRY_STATIC for the library and its users, and nothing is decorated.
// A shared build compiles with hidden visibility, so only what carries VANTRY_API leaves the
// library; on Windows the library's own translation units see dllexport (VANTRY_BUILDING) and
// its users dllimport.
#ifndef VANTRY_EXPORT_H_
#define VANTRY_EXPORT_H_

#if defined(VANTRY_STATIC)
#define VANTRY_API
#elif defined(_WIN32)
#if defined(VANTRY_BUILDING)
#define VANTRY_API __declspec(dllexport)
#else
#define VANTRY_API __declspec(dllimport)
#endif
#else
#define VANTRY_API __attribute__((visibility("default")))
#endif

#endif  // VANTRY_EXPORT_H_
