/* A host written in C99 that uses every function of vantry_c.h.
 *
 * On Linux it links the library. On Windows it is built with mingw-w64 gcc, a static C
 * runtime and no C++ at all, and finds the functions in vantry.dll with LoadLibraryW and
 * GetProcAddress, as a host built with any other compiler would: nothing of the library's
 * C++ runtime is shared. It also exchanges files with SaveVantryWithKey2 and
 * LoadVantryWithKey2, since both interfaces must read each other's files (only calls that
 * succeed: a failure of those would leave them as a C++ exception).
 *
 * It works in a folder of its own, c_host_work, in the current folder, and prints one line
 * per check; the exit status is the number of failed checks. */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L
#endif

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
/* Declarations only: the functions come from GetProcAddress. */
#define VANTRY_STATIC
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "vantry/vantry.h" /* compiles as C too: the entry points without std::string */
#include "vantry/vantry_c.h"

/* A host compiled with another default convention (MSVC /Gz) still calls them as cdecl. */
typedef int(VANTRY_CALL* SaveFunction)(const char*, const void*, size_t, int, const void*, size_t);
typedef int(VANTRY_CALL* LoadFunction)(const char*, int, const void*, size_t, unsigned char**,
                                       size_t*);
typedef void(VANTRY_CALL* FreeFunction)(void*, size_t);
typedef const char*(VANTRY_CALL* TextFunction)(void);
typedef int(VANTRY_CALL* CodeFunction)(void);
typedef const char*(VANTRY_CALL* StatusTextFunction)(int);
typedef uint32_t(VANTRY_CALL* NumberFunction)(void);
/* The entry points' pair without std::string; only their successful calls are made here,
 * since a failure would leave them as a C++ exception. */
typedef void (*EntrySaveFunction)(const unsigned char*, int32_t, const char*, const char*);
typedef unsigned char* (*EntryLoadFunction)(const char*, int32_t*, const char*);
typedef void (*EntryFreeFunction)(void*);

static struct {
  SaveFunction save;
  LoadFunction load;
  FreeFunction free_block;
  TextFunction last_error;
  CodeFunction last_system_error;
  StatusTextFunction status_text;
  TextFunction version;
  NumberFunction version_number;
  EntrySaveFunction entry_save;
  EntryLoadFunction entry_load;
  EntryFreeFunction entry_free;
} vantry;

static int failures = 0;

static void check(int ok, const char* what) {
  printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) {
    failures++;
  }
}

#define WORK "c_host_work"

/* Names outside ASCII, in UTF-8: e with acute, Cyrillic, Chinese. */
static const char* const kNames[] = {
    "notes-\xC3\xA9.vty",
    "\xD0\xB7\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB8.vty",
    "\xE7\xAC\x94\xE8\xAE\xB0\xE8\xA1\xA8.vty",
};
#define NAME_COUNT (sizeof kNames / sizeof kNames[0])

#if defined(_WIN32)
static int bind_functions(void) {
  HMODULE dll = LoadLibraryW(L"vantry.dll");
  if (dll == NULL) {
    printf("FAILED: LoadLibraryW(vantry.dll): error %lu\n", (unsigned long)GetLastError());
    return 0;
  }
  /* Through void (*)(void), which converts to any function pointer without a warning. */
#define BIND(field, type, name)                                   \
  vantry.field = (type)(void (*)(void))GetProcAddress(dll, name); \
  if (vantry.field == NULL) {                                     \
    printf("FAILED: GetProcAddress(%s)\n", name);                 \
    return 0;                                                     \
  }
  BIND(save, SaveFunction, "vantry_save")
  BIND(load, LoadFunction, "vantry_load")
  BIND(free_block, FreeFunction, "vantry_free")
  BIND(last_error, TextFunction, "vantry_last_error")
  BIND(last_system_error, CodeFunction, "vantry_last_system_error")
  BIND(status_text, StatusTextFunction, "vantry_status_text")
  BIND(version, TextFunction, "vantry_version")
  BIND(version_number, NumberFunction, "vantry_version_number")
  BIND(entry_save, EntrySaveFunction, "SaveVantryWithKey2")
  BIND(entry_load, EntryLoadFunction, "LoadVantryWithKey2")
  BIND(entry_free, EntryFreeFunction, "FreeVantryBuffer")
#undef BIND
  return 1;
}

static void make_work_folder(void) { CreateDirectoryW(L"" WORK, NULL); }

static void remove_file(const char* utf8) {
  wchar_t wide[MAX_PATH];
  if (MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, MAX_PATH) > 0) {
    DeleteFileW(wide);
  }
}

/* Names in the work folder, as UTF-8, one after the other separated by '/'. */
static void list_work_folder(char* out, size_t size) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L"" WORK L"\\*", &found);
  out[0] = '\0';
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    char name[4 * MAX_PATH];
    if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) {
      continue;
    }
    if (WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name, sizeof name, NULL, NULL) > 0 &&
        strlen(out) + strlen(name) + 2 < size) {
      strcat(out, name);
      strcat(out, "/");
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}
#else
static int bind_functions(void) {
  vantry.save = vantry_save;
  vantry.load = vantry_load;
  vantry.free_block = vantry_free;
  vantry.last_error = vantry_last_error;
  vantry.last_system_error = vantry_last_system_error;
  vantry.status_text = vantry_status_text;
  vantry.version = vantry_version;
  vantry.version_number = vantry_version_number;
  vantry.entry_save = SaveVantryWithKey2;
  vantry.entry_load = LoadVantryWithKey2;
  vantry.entry_free = FreeVantryBuffer;
  return 1;
}

static void make_work_folder(void) { mkdir(WORK, 0700); }

static void remove_file(const char* name) { unlink(name); }

static void list_work_folder(char* out, size_t size) {
  DIR* folder = opendir(WORK);
  struct dirent* entry;
  out[0] = '\0';
  if (folder == NULL) {
    return;
  }
  while ((entry = readdir(folder)) != NULL) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
      continue;
    }
    if (strlen(out) + strlen(entry->d_name) + 2 < size) {
      strcat(out, entry->d_name);
      strcat(out, "/");
    }
  }
  closedir(folder);
}
#endif

static void path_of(char* out, size_t size, const char* name) {
  snprintf(out, size, "%s/%s", WORK, name);
}

/* What an earlier run that failed part way left behind. */
static void clear_work_folder(void) {
  char listed[1024];
  char* name;
  list_work_folder(listed, sizeof listed);
  for (name = strtok(listed, "/"); name != NULL; name = strtok(NULL, "/")) {
    char path[300];
    path_of(path, sizeof path, name);
    remove_file(path);
  }
}

/* The block a load returns: the data, zero padding to 16 bytes, 32 zero bytes. */
static int is_loaded_form(const unsigned char* block, size_t length, const char* data) {
  const size_t n = strlen(data);
  size_t i;
  if (length != (n + 15) / 16 * 16 + 32 || memcmp(block, data, n) != 0) {
    return 0;
  }
  for (i = n; i < length; i++) {
    if (block[i] != 0) {
      return 0;
    }
  }
  return 1;
}

static void check_version(void) {
  const uint32_t number = vantry.version_number();
  char text[32];
  snprintf(text, sizeof text, "%u.%u.%u", (unsigned)(number / 10000),
           (unsigned)(number / 100 % 100), (unsigned)(number % 100));
  check(strcmp(vantry.version(), VANTRY_VERSION_STRING) == 0,
        "the library is this header's version");
  check(strcmp(text, VANTRY_VERSION_STRING) == 0, "the version number spells the version");
}

static void check_round_trips(void) {
  const char* data = "Dear diary, today I wrote a C host.";
  const unsigned char raw[VANTRY_KEY_BYTES_LENGTH] = {'k', 'e', 'y'};
  unsigned char* block = NULL;
  size_t length = 0;
  char name[256];
  path_of(name, sizeof name, "plain.vty");

  check(vantry.save(name, data, strlen(data), VANTRY_KEY_TEXT, "key", 3) == VANTRY_OK,
        "save with a key text");
  check(strcmp(vantry.last_error(), "") == 0, "no message after success");
  /* The text "key" and the bytes 'k' 'e' 'y' 0 ... are one key. */
  check(vantry.load(name, VANTRY_KEY_BYTES, raw, sizeof raw, &block, &length) == VANTRY_OK &&
            is_loaded_form(block, length, data),
        "load with the same key as raw bytes");
  vantry.free_block(block, length);
  vantry.free_block(NULL, 0);

  check(vantry.save(name, data, strlen(data), VANTRY_KEY_MACHINE, NULL, 0) == VANTRY_OK,
        "save with the machine key");
  check(vantry.load(name, VANTRY_KEY_MACHINE, NULL, 0, &block, &length) == VANTRY_OK &&
            is_loaded_form(block, length, data),
        "load with the machine key");
  vantry.free_block(block, length);

  check(vantry.save(name, NULL, 0, VANTRY_KEY_TEXT, "key", 3) == VANTRY_OK &&
            vantry.load(name, VANTRY_KEY_TEXT, "key", 3, &block, &length) == VANTRY_OK &&
            length == 32,
        "an empty save loads as 32 zero bytes");
  vantry.free_block(block, length);
  remove_file(name);
}

static void check_failures(void) {
  unsigned char* block = NULL;
  size_t length = 99;
  char name[256];
  char missing[256];
  int status;
  path_of(name, sizeof name, "keyed.vty");
  path_of(missing, sizeof missing, "no-folder/x.vty");

  vantry.save(name, "abc", 3, VANTRY_KEY_TEXT, "right", 5);
  status = vantry.load(name, VANTRY_KEY_TEXT, "wrong", 5, &block, &length);
  check(status == VANTRY_ERROR_WRONG_KEY && block == NULL && length == 0,
        "a wrong key is VANTRY_ERROR_WRONG_KEY, with nothing loaded");
  check(strncmp(vantry.last_error(), "Sealkit ERROR: File ", 20) == 0 &&
            strstr(vantry.last_error(), " cannot be Correctly Decrypted!") != NULL,
        "its message is the library's");

  status = vantry.load(missing, VANTRY_KEY_TEXT, "right", 5, &block, &length);
  check(status == VANTRY_ERROR_FILE && vantry.last_system_error() != 0,
        "a missing folder is VANTRY_ERROR_FILE with the system's code");
  printf("   (%d: %s)\n", vantry.last_system_error(), vantry.last_error());

  check(vantry.save(name, "abc", 3, VANTRY_KEY_TEXT, "", 0) == VANTRY_ERROR_INVALID_ARGUMENT &&
            vantry.last_system_error() == 0,
        "an empty key text is refused");
  check(vantry.save(NULL, "abc", 3, VANTRY_KEY_TEXT, "k", 1) == VANTRY_ERROR_INVALID_ARGUMENT,
        "no file name is refused");
  check(vantry.save(name, "a", VANTRY_MAX_DATA_LENGTH + 1, VANTRY_KEY_TEXT, "k", 1) ==
            VANTRY_ERROR_TOO_LARGE,
        "data too large for a protected file is refused");
  check(strcmp(vantry.status_text(VANTRY_ERROR_WRONG_KEY), "wrong key or not a protected file") ==
                0 &&
            vantry.status_text(12345) != NULL,
        "status texts");
  /* The file is still the first save's. */
  check(vantry.load(name, VANTRY_KEY_TEXT, "right", 5, &block, &length) == VANTRY_OK &&
            is_loaded_form(block, length, "abc"),
        "failed saves left the file as it was");
  vantry.free_block(block, length);
  remove_file(name);
}

static void check_unicode_names(void) {
  char expected[1024] = "";
  char listed[1024];
  size_t i;
  for (i = 0; i < NAME_COUNT; i++) {
    char name[256];
    unsigned char* block = NULL;
    size_t length = 0;
    path_of(name, sizeof name, kNames[i]);
    check(vantry.save(name, kNames[i], strlen(kNames[i]), VANTRY_KEY_TEXT, "names", 5) == VANTRY_OK,
          "save under a name outside ASCII");
    check(vantry.load(name, VANTRY_KEY_TEXT, "names", 5, &block, &length) == VANTRY_OK &&
              is_loaded_form(block, length, kNames[i]),
          "load it back by that name");
    vantry.free_block(block, length);
  }
  /* Listed in the order the folder gives; compared as sets. */
  list_work_folder(listed, sizeof listed);
  for (i = 0; i < NAME_COUNT; i++) {
    char entry[300];
    snprintf(entry, sizeof entry, "%s/", kNames[i]);
    check(strstr(listed, entry) != NULL, "the folder lists the name exactly");
    strcat(expected, entry);
  }
  check(strlen(listed) == strlen(expected), "and nothing else (no temporary, no mangled name)");
  printf("   listed: %s\n", listed);
  for (i = 0; i < NAME_COUNT; i++) {
    char name[256];
    path_of(name, sizeof name, kNames[i]);
    remove_file(name);
  }
}

#if defined(_WIN32)
/* The DLL's VERSIONINFO resource says the version the library reports. */
static void check_version_resource(void) {
  wchar_t path[MAX_PATH];
  DWORD ignored = 0;
  DWORD size;
  void* info;
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT fixedSize = 0;
  const uint32_t number = vantry.version_number();
  HMODULE dll = GetModuleHandleW(L"vantry.dll");
  if (dll == NULL || GetModuleFileNameW(dll, path, MAX_PATH) == 0) {
    check(0, "find vantry.dll's file");
    return;
  }
  size = GetFileVersionInfoSizeW(path, &ignored);
  info = size > 0 ? malloc(size) : NULL;
  check(info != NULL && GetFileVersionInfoW(path, 0, size, info) &&
            VerQueryValueW(info, L"\\", (void**)&fixed, &fixedSize) && fixed != NULL &&
            fixed->dwFileVersionMS == ((number / 10000) << 16 | (number / 100 % 100)) &&
            HIWORD(fixed->dwFileVersionLS) == number % 100,
        "vantry.dll's version resource is the library's version");
  free(info);
}
#endif

static void check_exchange_with_entry_points(void) {
  const char* data = "both ways";
  char name[256];
  unsigned char* block;
  int32_t entryLength = -1;
  size_t length = 0;
  path_of(name, sizeof name, "exchange.vty");

  check(vantry.save(name, data, strlen(data), VANTRY_KEY_TEXT, "shared", 6) == VANTRY_OK,
        "save through the C interface");
  block = vantry.entry_load(name, &entryLength, "shared");
  check(block != NULL && entryLength >= 0 && is_loaded_form(block, (size_t)entryLength, data),
        "LoadVantryWithKey2 reads it");
  vantry.entry_free(block);

  vantry.entry_save((const unsigned char*)data, (int32_t)strlen(data), name, "shared");
  block = NULL;
  check(vantry.load(name, VANTRY_KEY_TEXT, "shared", 6, &block, &length) == VANTRY_OK &&
            is_loaded_form(block, length, data),
        "the C interface reads SaveVantryWithKey2's file");
  vantry.free_block(block, length);
  remove_file(name);
}

int main(void) {
  char left[1024];
  if (!bind_functions()) {
    return 1;
  }
  make_work_folder();
  clear_work_folder();
  check_version();
  check_round_trips();
  check_failures();
  check_unicode_names();
  check_exchange_with_entry_points();
#if defined(_WIN32)
  check_version_resource();
#endif
  list_work_folder(left, sizeof left);
  check(left[0] == '\0', "the work folder is empty again");
#if defined(_WIN32)
  RemoveDirectoryW(L"" WORK);
#else
  rmdir(WORK);
#endif
  printf("%d failed\n", failures);
  return failures;
}
